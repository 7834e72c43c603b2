#pragma once

#include <kivo/enum_property.h>

namespace kivo {

// The automatic/manual control of another property.
class KIVO_API IRangeModeProperty : public IEnumProperty {
 public:
  IRangeModeProperty(const char* name, const CComPtr<IBaseFilter>& filter);
  virtual ~IRangeModeProperty();

  // The property this mode belongs to: usually a range property, but the
  // on/off settings own mode companions too.
  virtual BaseProperty* getRangeProperty() const = 0;
};

}  // namespace kivo
