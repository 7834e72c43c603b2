#include <kivo/base_property.h>
#include <kivo/enum_property.h>
#include <kivo/range_mode_property.h>
#include <kivo/range_property.h>

namespace kivo {

BaseProperty::BaseProperty(const char* name, const CComPtr<IBaseFilter>& filter)
    : name(name ? name : ""), filter(filter), supported(false), settable(true) {}

BaseProperty::BaseProperty(const BaseProperty& other)
    : name(other.name),
      filter(other.filter),
      supported(other.supported),
      settable(other.settable) {}

BaseProperty::~BaseProperty() = default;

const char* BaseProperty::getName() const { return name.c_str(); }

const CComPtr<IBaseFilter>& BaseProperty::getFilter() const { return filter; }

bool BaseProperty::isSupported() const { return supported; }

bool BaseProperty::isSettable() const { return settable; }

void BaseProperty::setSupported(bool value) { supported = value; }

void BaseProperty::setSettable(bool value) { settable = value; }

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

IRangeProperty::IRangeProperty(const char* name, const CComPtr<IBaseFilter>& filter)
    : BaseProperty(name, filter) {}

IRangeProperty::IRangeProperty(const IRangeProperty& other) : BaseProperty(other) {}

IRangeProperty::~IRangeProperty() = default;

IRangeModeProperty::IRangeModeProperty(const char* name, const CComPtr<IBaseFilter>& filter)
    : IEnumProperty(name, filter) {}

IRangeModeProperty::~IRangeModeProperty() = default;

}  // namespace kivo
