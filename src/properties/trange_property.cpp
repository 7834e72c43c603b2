#include <kivo/trange_mode_property.h>
#include <kivo/trange_property.h>

#include "properties/device_control.h"

namespace kivo {

template <class I>
TRangeProperty<I>::TRangeProperty(const char* name, long propertyId,
                                  const CComPtr<IBaseFilter>& filter)
    : IRangeProperty(name, filter), propertyId(propertyId) {
  properties::DeviceRange range;
  if (FAILED(properties::openDeviceControl(filter, propertyId, deviceInterface, range))) return;
  // Keep the default inside the range; a device reporting minimum > maximum
  // ends with the minimum.
  if (range.defaultValue > range.maximum) range.defaultValue = range.maximum;
  if (range.defaultValue < range.minimum) range.defaultValue = range.minimum;
  range.copyTo(minimum, maximum, steppingDelta, deviceDefault, capsFlags);
  setSupported(true);
  createDependentProperty();
}

template <class I>
TRangeProperty<I>::~TRangeProperty() = default;

template <class I>
long TRangeProperty<I>::getValue(void* value) const {
  return properties::readSetting(deviceInterface.p, propertyId, properties::SettingPart::Value,
                                 value);
}

template <class I>
long TRangeProperty<I>::setValue(void* value) {
  return properties::writeSetting(deviceInterface.p, propertyId, properties::SettingPart::Value,
                                  value);
}

template <class I>
BaseProperty* TRangeProperty<I>::getDependentProperty() const {
  return dependent;
}

template <class I>
void TRangeProperty<I>::getRange(long& minimum, long& maximum, long& steppingDelta,
                                 long& defaultValue, long& capsFlags) const {
  properties::DeviceRange{this->minimum, this->maximum, this->steppingDelta, deviceDefault,
                          this->capsFlags}
      .copyTo(minimum, maximum, steppingDelta, defaultValue, capsFlags);
}

template <class I>
long TRangeProperty<I>::getPropertyId() const {
  return propertyId;
}

template <class I>
void TRangeProperty<I>::createDependentProperty() {
  dependent = TRangeModeProperty<I>::createFor(this, propertyId, capsFlags, deviceInterface);
}

// The two instantiations kivo.dll exports.
template class KIVO_API TRangeProperty<IAMCameraControl>;
template class KIVO_API TRangeProperty<IAMVideoProcAmp>;

}  // namespace kivo
