#include <kivo/trange_mode_property.h>
#include <kivo/trange_property.h>

#include <string>

#include "properties/device_control.h"

namespace kivo {

template <class I>
TRangeProperty<I>::TRangeProperty(const char* name, long propertyId,
                                  const CComPtr<IBaseFilter>& filter)
    : IRangeProperty(name, filter),
      dependent(nullptr),
      propertyId(propertyId),
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
  capsFlags = range.capsFlags;
  // Keep the default inside the range; a device reporting minimum > maximum
  // ends with the minimum.
  deviceDefault = range.defaultValue;
  if (deviceDefault > maximum) deviceDefault = maximum;
  if (deviceDefault < minimum) deviceDefault = minimum;
  setSupported(true);
  createDependentProperty();
}

template <class I>
TRangeProperty<I>::~TRangeProperty() = default;

template <class I>
long TRangeProperty<I>::getValue(void* value) const {
  return properties::readDeviceValue(deviceInterface.p, propertyId, value);
}

template <class I>
long TRangeProperty<I>::setValue(void* value) {
  return properties::writeDeviceValue(deviceInterface.p, propertyId, value);
}

template <class I>
BaseProperty* TRangeProperty<I>::getDependentProperty() const {
  return dependent;
}

template <class I>
void TRangeProperty<I>::getRange(long& minimum, long& maximum, long& steppingDelta,
                                 long& defaultValue, long& capsFlags) const {
  minimum = this->minimum;
  maximum = this->maximum;
  steppingDelta = this->steppingDelta;
  defaultValue = deviceDefault;
  capsFlags = this->capsFlags;
}

template <class I>
long TRangeProperty<I>::getPropertyId() const {
  return propertyId;
}

template <class I>
void TRangeProperty<I>::createDependentProperty() {
  if (!properties::hasModeChoice(capsFlags)) return;
  const std::string modeName = std::string(getName()) + "Mode";
  dependent =
      new TRangeModeProperty<I>(modeName.c_str(), propertyId, getFilter(), deviceInterface, this);
}

// The two instantiations kivo.dll exports.
template class KIVO_API TRangeProperty<IAMCameraControl>;
template class KIVO_API TRangeProperty<IAMVideoProcAmp>;

}  // namespace kivo
