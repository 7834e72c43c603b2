#pragma once

#include <kivo/filter.h>

namespace kivo {

// A video capture device. Copying binds the device moniker again.
class KIVO_API VideoCaptureFilter : public Filter {
 public:
  VideoCaptureFilter(const char* name, CComPtr<IBaseFilter> filter, CComPtr<IMoniker> moniker,
                     CComPtr<IBindCtx> bindCtx);
  VideoCaptureFilter(const VideoCaptureFilter& other);
  VideoCaptureFilter& operator=(const VideoCaptureFilter& other);
  virtual ~VideoCaptureFilter();

  // Whether the device is driven through the legacy Video for Windows path
  // (its filter offers IAMVfwCaptureDialogs).
  bool isVFW() const override;
};

}  // namespace kivo
