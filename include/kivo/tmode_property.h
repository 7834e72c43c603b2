#pragma once

#include <kivo/comptr.h>
#include <kivo/enum_property.h>
#include <kivo/export.h>
#include <kivo/platform.h>

namespace kivo {

template <class I>
class TModeProperty;

// A proc-amp setting that is an on/off switch (colour enable, backlight
// compensation): "off" 0, "on" 1, with "on" as the default whatever the
// device reports. The value exchanged is the proc-amp value itself. Only the
// IAMVideoProcAmp form exists.
template <>
class KIVO_API TModeProperty<IAMVideoProcAmp> : public IEnumProperty {
 public:
  // Asks the filter for IAMVideoProcAmp and the device for the range of
  // `propertyId`; without either the property stays unsupported. A device
  // offering both automatic and manual control also gets a "Mode"
  // companion, named after this property, that the caller owns.
  TModeProperty(const char* name, long propertyId, const CComPtr<IBaseFilter>& filter);
  TModeProperty(const TModeProperty&) = delete;
  TModeProperty& operator=(const TModeProperty&) = delete;
  // Does not destroy the companion: whoever owns the properties does.
  virtual ~TModeProperty();

  long getValue(void* value) const override;
  // Keeps the device's current control flags.
  long setValue(void* value) override;
  // The "Mode" companion, or null. Not owned by this property.
  BaseProperty* getDependentProperty() const override;

  long getPropertyId() const;
  // The range the device reported, unclamped.
  void getRange(long& minimum, long& maximum, long& steppingDelta, long& defaultValue,
                long& capsFlags) const;

 private:
  void createDependentProperty();

  CComPtr<IAMVideoProcAmp> deviceInterface;
  long propertyId;
  BaseProperty* dependent = nullptr;
  long minimum = 0;
  long maximum = 0;
  long steppingDelta = 0;
  long deviceDefault = 0;
  long capsFlags = 0;
};

}  // namespace kivo
