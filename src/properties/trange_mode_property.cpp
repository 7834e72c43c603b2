#include <kivo/trange_mode_property.h>

#include "properties/device_control.h"

#include <string>

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
  return properties::readSetting(deviceInterface.p, propertyId, properties::SettingPart::Flags,
                                 value);
}

template <class I>
long TRangeModeProperty<I>::setValue(void* value) {
  return properties::writeSetting(deviceInterface.p, propertyId, properties::SettingPart::Flags,
                                  value);
}

template <class I>
BaseProperty* TRangeModeProperty<I>::getRangeProperty() const {
  return rangeProperty;
}

template <class I>
long TRangeModeProperty<I>::getPropertyId() const {
  return propertyId;
}

template <class I>
TRangeModeProperty<I>* TRangeModeProperty<I>::createFor(BaseProperty* owner, long propertyId,
                                                        long capsFlags,
                                                        const CComPtr<I>& deviceInterface) {
  if (!properties::hasModeChoice(capsFlags)) return nullptr;
  const std::string name = std::string(owner->getName()) + "Mode";
  return new TRangeModeProperty<I>(name.c_str(), propertyId, owner->getFilter(), deviceInterface,
                                   owner);
}

// The two instantiations kivo.dll exports.
template class KIVO_API TRangeModeProperty<IAMCameraControl>;
template class KIVO_API TRangeModeProperty<IAMVideoProcAmp>;

}  // namespace kivo
