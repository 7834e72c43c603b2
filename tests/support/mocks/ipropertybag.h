#pragma once

#include "support/com_fake.h"

#include <map>
#include <string>

namespace kivo::test {

class MockPropertyBag : public ComFake<IPropertyBag> {
 public:
  MOCK_METHOD(HRESULT, Read, (LPCOLESTR, VARIANT*, IErrorLog*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Write, (LPCOLESTR, VARIANT*), COM_OVERRIDE);
};

// A property bag that answers Read with texts it holds (as a fresh BSTR,
// the way device property bags do) and E_INVALIDARG for any other name.
class TextPropertyBag : public ComFake<IPropertyBag> {
 public:
  void set(const std::wstring& name, const std::wstring& value) { values_[name] = value; }

  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (!name || !value) return E_POINTER;
    auto found = values_.find(name);
    if (found == values_.end()) return E_INVALIDARG;
    value->vt = VT_BSTR;
    value->bstrVal =
        SysAllocStringLen(found->second.data(), static_cast<UINT>(found->second.size()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

 private:
  std::map<std::wstring, std::wstring> values_;
};

}  // namespace kivo::test
