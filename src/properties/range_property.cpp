#include <kivo/range_property.h>

namespace kivo {

IRangeProperty::IRangeProperty(const char* name, const CComPtr<IBaseFilter>& filter)
    : BaseProperty(name, filter) {}

IRangeProperty::IRangeProperty(const IRangeProperty& other) : BaseProperty(other) {}

IRangeProperty::~IRangeProperty() = default;

}  // namespace kivo
