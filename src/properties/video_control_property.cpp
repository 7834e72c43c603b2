#include <kivo/video_control_property.h>

namespace kivo {

VideoControlProperty::VideoControlProperty(const char* name, long flag,
                                           const CComPtr<IBaseFilter>& filter,
                                           const CComPtr<IPin>& pin)
    : IEnumProperty(name, filter), flag(flag), pin(pin) {
  // Without a pin there is no mode word to ask about.
  if (!filter || !pin) return;
  if (FAILED(filter.QueryInterface(&control)) || !control) {
    control.Release();
    return;
  }
  long caps = 0;
  if (FAILED(control->GetCaps(pin, &caps)) || (caps & flag) == 0) return;
  setSupported(true);
  addEnumPair("off", 0);
  addEnumPair("on", 1);
  defaultValue = 0;
}

VideoControlProperty::~VideoControlProperty() = default;

long VideoControlProperty::getValue(void* value) const {
  if (!value) return E_POINTER;
  if (!control) return E_UNEXPECTED;
  long mode = 0;
  const HRESULT hr = control->GetMode(pin, &mode);
  if (FAILED(hr)) return hr;
  *static_cast<long*>(value) = (mode & flag) != 0 ? 1 : 0;
  return hr;
}

long VideoControlProperty::setValue(void* value) {
  if (!value) return E_POINTER;
  if (!control) return E_UNEXPECTED;
  long mode = 0;
  control->GetMode(pin, &mode);
  const long newMode = *static_cast<long*>(value) == 1 ? (mode | flag) : (mode & ~flag);
  return control->SetMode(pin, newMode);
}

long VideoControlProperty::getFlag() const { return flag; }

}  // namespace kivo
