#pragma once

#include <kivo/comptr.h>
#include <kivo/enum_property.h>
#include <kivo/export.h>
#include <kivo/platform.h>

namespace kivo {

// One bit of the mode word that IAMVideoControl keeps per output pin (for
// example VideoControlFlag_FlipHorizontal or VideoControlFlag_FlipVertical),
// as an on/off property: "off" 0, "on" 1, default "off".
class KIVO_API VideoControlProperty : public IEnumProperty {
 public:
  // Unsupported when the filter lacks IAMVideoControl or the pin does not
  // offer `flag`.
  VideoControlProperty(const char* name, long flag, const CComPtr<IBaseFilter>& filter,
                       const CComPtr<IPin>& pin);
  VideoControlProperty(const VideoControlProperty&) = delete;
  VideoControlProperty& operator=(const VideoControlProperty&) = delete;
  virtual ~VideoControlProperty();

  // `value` points to a long that receives 1 when the bit is set, else 0;
  // left untouched when the mode cannot be read.
  long getValue(void* value) const override;
  // `value` points to a long: 1 sets the bit, any other number clears it.
  // The other bits of the mode word are kept.
  long setValue(void* value) override;

  long getFlag() const;

 private:
  CComPtr<IAMVideoControl> control;
  long flag;
  CComPtr<IPin> pin;
};

}  // namespace kivo
