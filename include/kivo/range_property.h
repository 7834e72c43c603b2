#pragma once

#include <kivo/base_property.h>

namespace kivo {

// A property with a numeric range.
class KIVO_API IRangeProperty : public BaseProperty {
 public:
  IRangeProperty(const char* name, const CComPtr<IBaseFilter>& filter);
  IRangeProperty(const IRangeProperty& other);
  virtual ~IRangeProperty();

  // The limits the device reported when the property was built.
  virtual void getRange(long& minimum, long& maximum, long& steppingDelta, long& defaultValue,
                        long& capsFlags) const = 0;
};

}  // namespace kivo
