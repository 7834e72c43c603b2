#include <kivo/base_property.h>

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

}  // namespace kivo
