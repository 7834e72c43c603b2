#include <kivo/trange_mode_property.h>

#include "properties/device_control.h"

namespace kivo {

template <class I>
TRangeModeProperty<I>::TRangeModeProperty(const char* name, long propertyId,
                                          const CComPtr<IBaseFilter>& filter,
                                          const CComPtr<I>& deviceInterface,
                                          BaseProperty* rangeProperty)
    : IRangeModeProperty(name, filter),
      deviceInterface(deviceInterface),
      propertyId(propertyId),
      rangeProperty(rangeProperty) {
  // The owner created this mode because the device offers both kinds of
  // control: nothing more to ask.
  setSupported(true);
  addEnumPair("auto", 1);
  addEnumPair("manual", 2);
  defaultValue = 1;
}

template <class I>
TRangeModeProperty<I>::~TRangeModeProperty() = default;

template <class I>
long TRangeModeProperty<I>::getValue(void* value) const {
  return properties::readDeviceFlags(deviceInterface.p, propertyId, value);
}

template <class I>
long TRangeModeProperty<I>::setValue(void* value) {
  return properties::writeDeviceFlags(deviceInterface.p, propertyId, value);
}

template <class I>
BaseProperty* TRangeModeProperty<I>::getRangeProperty() const {
  return rangeProperty;
}

template <class I>
long TRangeModeProperty<I>::getPropertyId() const {
  return propertyId;
}

// The two instantiations kivo.dll exports.
template class KIVO_API TRangeModeProperty<IAMCameraControl>;
template class KIVO_API TRangeModeProperty<IAMVideoProcAmp>;

}  // namespace kivo
