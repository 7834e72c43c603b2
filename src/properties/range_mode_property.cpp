#include <kivo/range_mode_property.h>

namespace kivo {

IRangeModeProperty::IRangeModeProperty(const char* name, const CComPtr<IBaseFilter>& filter)
    : IEnumProperty(name, filter) {}

IRangeModeProperty::~IRangeModeProperty() = default;

}  // namespace kivo
