#include <kivo/enum_property.h>

namespace kivo {

IEnumProperty::IEnumProperty(const char* name, const CComPtr<IBaseFilter>& filter)
    : BaseProperty(name, filter), defaultValue(0) {}

IEnumProperty::~IEnumProperty() = default;

BaseProperty* IEnumProperty::getDependentProperty() const { return nullptr; }

long IEnumProperty::getDefaultValue() const { return defaultValue; }

const char* IEnumProperty::getDefaultName() const {
  for (const auto& pair : constraints) {
    if (pair.second == defaultValue) return pair.first.c_str();
  }
  return nullptr;
}

const std::map<std::string, long>& IEnumProperty::getConstraints() const { return constraints; }

void IEnumProperty::addEnumPair(const char* name, long value) {
  constraints.emplace(name ? name : "", value);
}

}  // namespace kivo
