#include "foundation/text.h"

#include <kivo/comptr.h>

#include <vector>

namespace kivo {

std::string toUtf8(const wchar_t* text) {
  if (!text) return std::string();
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (needed <= 1) return std::string();
  std::vector<char> buffer(static_cast<size_t>(needed));
  if (WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), needed, nullptr, nullptr) <= 0)
    return std::string();
  return std::string(buffer.data());
}

std::wstring fromUtf8(const char* text) {
  if (!text || !*text) return std::wstring();
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (needed <= 1) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(needed));
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer.data(), needed) <= 0) return std::wstring();
  return std::wstring(buffer.data());
}

bool readBagText(IPropertyBag* bag, const wchar_t* property, std::string& text) {
  VARIANT value;
  VariantInit(&value);
  const bool read = SUCCEEDED(bag->Read(property, &value, nullptr)) && value.vt == VT_BSTR;
  if (read) text = toUtf8(value.bstrVal);
  VariantClear(&value);
  return read;
}

bool bagHasValue(IPropertyBag* bag, const wchar_t* property) {
  VARIANT value;
  VariantInit(&value);
  const bool read = SUCCEEDED(bag->Read(property, &value, nullptr));
  VariantClear(&value);
  return read;
}

bool readDeviceText(IMoniker* moniker, const wchar_t* property, std::string& text) {
  if (!moniker) return false;
  CComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))) || !bag) return false;
  return readBagText(bag, property, text);
}

}  // namespace kivo
