#pragma once

#include <kivo/comptr.h>
#include <kivo/enum_property.h>
#include <kivo/export.h>
#include <kivo/platform.h>

namespace kivo {

// One setting of an analog video decoder (IAMAnalogVideoDecoder), chosen by
// the property's name:
// - "OutputEnable": "off" 0, "on" 1;
// - "VCRHorizontalLocking": "broadcast" 0, "tape" 1;
// - "HorizontalLocked": "off" 0, "on" 1, read-only;
// - "AnalogVideoFormat": the TV standard (an AnalogVideo_* bit), named
//   "ntsc_m", "pal_b" and so on; the current standard and the available
//   ones are offered.
// The default value is the device's value when the property was built.
class KIVO_API AnalogVideoDecoderProperty : public IEnumProperty {
 public:
  // Any other name, a filter without the decoder interface or a failing
  // first read leaves the property unsupported.
  AnalogVideoDecoderProperty(const char* name, const CComPtr<IBaseFilter>& filter);
  AnalogVideoDecoderProperty(const AnalogVideoDecoderProperty&) = delete;
  AnalogVideoDecoderProperty& operator=(const AnalogVideoDecoderProperty&) = delete;
  virtual ~AnalogVideoDecoderProperty();

  // `value` points to a long that receives the decoder's current setting.
  long getValue(void* value) const override;
  // `value` points to the long to write, passed to the decoder unchecked.
  long setValue(void* value) override;

 private:
  KIVO_TEST_ACCESS;
  typedef long (AnalogVideoDecoderProperty::*Accessor)(long& value) const;

  void addDxEnums();
  void addTVFormat(long available, long format);
  const char* getTVFormatName(long format) const;

  long getOutputEnable(long& value) const;
  long setOutputEnable(long& value) const;
  long getVCRHorizontalLocking(long& value) const;
  long setVCRHorizontalLocking(long& value) const;
  long getHorizontalLocked(long& value) const;
  long setHorizontalLocked(long& value) const;
  long getTVFormat(long& value) const;
  long setTVFormat(long& value) const;

  CComPtr<IAMAnalogVideoDecoder> decoder;
  Accessor getter;
  Accessor setter;
};

}  // namespace kivo
