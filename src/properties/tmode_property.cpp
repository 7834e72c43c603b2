#include <kivo/tmode_property.h>
#include <kivo/trange_mode_property.h>

#include <string>

#include "properties/device_control.h"

namespace kivo {

TModeProperty<IAMVideoProcAmp>::TModeProperty(const char* name, long propertyId,
                                              const CComPtr<IBaseFilter>& filter)
    : IEnumProperty(name, filter),
      propertyId(propertyId),
      dependent(nullptr),
      minimum(0),
      maximum(0),
      steppingDelta(0),
      deviceDefault(0),
      capsFlags(0) {
  properties::DeviceRange range;
  if (FAILED(properties::openDeviceControl(filter, propertyId, deviceInterface, range))) return;
  minimum = range.minimum;
  maximum = range.maximum;
  steppingDelta = range.steppingDelta;
  deviceDefault = range.defaultValue;
  capsFlags = range.capsFlags;
  setSupported(true);
  addEnumPair("off", 0);
  addEnumPair("on", 1);
  // Presented as switched on by default, whatever the device's own default.
  defaultValue = 1;
  createDependentProperty();
}

TModeProperty<IAMVideoProcAmp>::~TModeProperty() = default;

long TModeProperty<IAMVideoProcAmp>::getValue(void* value) const {
  return properties::readDeviceValue(deviceInterface.p, propertyId, value);
}

long TModeProperty<IAMVideoProcAmp>::setValue(void* value) {
  return properties::writeDeviceValue(deviceInterface.p, propertyId, value);
}

BaseProperty* TModeProperty<IAMVideoProcAmp>::getDependentProperty() const { return dependent; }

long TModeProperty<IAMVideoProcAmp>::getPropertyId() const { return propertyId; }

void TModeProperty<IAMVideoProcAmp>::getRange(long& minimum, long& maximum, long& steppingDelta,
                                              long& defaultValue, long& capsFlags) const {
  minimum = this->minimum;
  maximum = this->maximum;
  steppingDelta = this->steppingDelta;
  defaultValue = deviceDefault;
  capsFlags = this->capsFlags;
}

void TModeProperty<IAMVideoProcAmp>::createDependentProperty() {
  if (!properties::hasModeChoice(capsFlags)) return;
  const std::string modeName = std::string(getName()) + "Mode";
  dependent = new TRangeModeProperty<IAMVideoProcAmp>(modeName.c_str(), propertyId, getFilter(),
                                                      deviceInterface, this);
}

}  // namespace kivo
