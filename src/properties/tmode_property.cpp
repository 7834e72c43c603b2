#include <kivo/tmode_property.h>
#include <kivo/trange_mode_property.h>

#include "properties/device_control.h"

namespace kivo {

TModeProperty<IAMVideoProcAmp>::TModeProperty(const char* name, long propertyId,
                                              const CComPtr<IBaseFilter>& filter)
    : IEnumProperty(name, filter), propertyId(propertyId) {
  properties::DeviceRange range;
  if (FAILED(properties::openDeviceControl(filter, propertyId, deviceInterface, range))) return;
  range.copyTo(minimum, maximum, steppingDelta, deviceDefault, capsFlags);
  setSupported(true);
  addEnumPair("off", 0);
  addEnumPair("on", 1);
  // Presented as switched on by default, whatever the device's own default.
  defaultValue = 1;
  createDependentProperty();
}

TModeProperty<IAMVideoProcAmp>::~TModeProperty() = default;

long TModeProperty<IAMVideoProcAmp>::getValue(void* value) const {
  return properties::readSetting(deviceInterface.p, propertyId, properties::SettingPart::Value,
                                 value);
}

long TModeProperty<IAMVideoProcAmp>::setValue(void* value) {
  return properties::writeSetting(deviceInterface.p, propertyId, properties::SettingPart::Value,
                                  value);
}

BaseProperty* TModeProperty<IAMVideoProcAmp>::getDependentProperty() const { return dependent; }

long TModeProperty<IAMVideoProcAmp>::getPropertyId() const { return propertyId; }

void TModeProperty<IAMVideoProcAmp>::getRange(long& minimum, long& maximum, long& steppingDelta,
                                              long& defaultValue, long& capsFlags) const {
  properties::DeviceRange{this->minimum, this->maximum, this->steppingDelta, deviceDefault,
                          this->capsFlags}
      .copyTo(minimum, maximum, steppingDelta, defaultValue, capsFlags);
}

void TModeProperty<IAMVideoProcAmp>::createDependentProperty() {
  dependent =
      TRangeModeProperty<IAMVideoProcAmp>::createFor(this, propertyId, capsFlags, deviceInterface);
}

}  // namespace kivo
