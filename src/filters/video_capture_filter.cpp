#include <kivo/video_capture_filter.h>

namespace kivo {

VideoCaptureFilter::VideoCaptureFilter(const char* name, CComPtr<IBaseFilter> filter,
                                       CComPtr<IMoniker> moniker, CComPtr<IBindCtx> bindCtx)
    : Filter(name, filter, moniker, bindCtx) {}

VideoCaptureFilter::VideoCaptureFilter(const VideoCaptureFilter& other) : Filter(other) {}

VideoCaptureFilter& VideoCaptureFilter::operator=(const VideoCaptureFilter& other) {
  Filter::operator=(other);
  return *this;
}

VideoCaptureFilter::~VideoCaptureFilter() = default;

bool VideoCaptureFilter::isVFW() const {
  CComPtr<IAMVfwCaptureDialogs> dialogs;
  return SUCCEEDED(getInterface().QueryInterface(&dialogs));
}

}  // namespace kivo
