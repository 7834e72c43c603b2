#pragma once

#include <kivo/base_property.h>

#include <map>
#include <string>

namespace kivo {

// A property whose values are named constants ("off"/"on", "auto"/"manual",
// TV standards).
class KIVO_API IEnumProperty : public BaseProperty {
 public:
  IEnumProperty(const char* name, const CComPtr<IBaseFilter>& filter);
  virtual ~IEnumProperty();

  BaseProperty* getDependentProperty() const override;
  virtual long getDefaultValue() const;
  // The first name, in ascending order, whose value is the default; null
  // when no name carries it.
  virtual const char* getDefaultName() const;

  // Every value name with its value, ordered by name.
  const std::map<std::string, long>& getConstraints() const;

 protected:
  // Adds a name; the first value given for a name stays.
  void addEnumPair(const char* name, long value);

  long defaultValue;
  std::map<std::string, long> constraints;
};

}  // namespace kivo
