#pragma once

// Counted mocks of the device enumerator, monikers, property bags and Running Object Table.

#include "support/com_fake.h"
#include "support/mocks/ienumfilters.h"

#include <map>
#include <string>

namespace kivo::test {

using ListEnumMoniker = ListEnum<IEnumMoniker, IMoniker>;

class MockCreateDevEnum : public ComFake<ICreateDevEnum> {
 public:
  MOCK_METHOD(HRESULT, CreateClassEnumerator, (REFCLSID, IEnumMoniker**, DWORD), COM_OVERRIDE);
};

class MockMoniker : public ComFake<IMoniker> {
 public:
  MOCK_METHOD(HRESULT, GetClassID, (CLSID*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, IsDirty, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Load, (IStream*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Save, (IStream*, WINBOOL), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetSizeMax, (ULARGE_INTEGER*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, BindToObject, (IBindCtx*, IMoniker*, REFIID, void**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, BindToStorage, (IBindCtx*, IMoniker*, REFIID, void**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Reduce, (IBindCtx*, DWORD, IMoniker**, IMoniker**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, ComposeWith, (IMoniker*, WINBOOL, IMoniker**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Enum, (WINBOOL, IEnumMoniker**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, IsEqual, (IMoniker*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Hash, (DWORD*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, IsRunning, (IBindCtx*, IMoniker*, IMoniker*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetTimeOfLastChange, (IBindCtx*, IMoniker*, FILETIME*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Inverse, (IMoniker**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, CommonPrefixWith, (IMoniker*, IMoniker**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, RelativePathTo, (IMoniker*, IMoniker**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetDisplayName, (IBindCtx*, IMoniker*, LPOLESTR*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, ParseDisplayName, (IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, IsSystemMoniker, (DWORD*), COM_OVERRIDE);
};

// A property bag that answers Read with the values it holds (texts as a fresh BSTR, the way
// device property bags do) and E_INVALIDARG for any other name.
class FakePropertyBag : public ComFake<IPropertyBag> {
 public:
  void set(const std::wstring& name, const std::wstring& text) { texts_[name] = text; }
  void set(const std::wstring& name, LONG number) { numbers_[name] = number; }

  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (!name || !value) return E_POINTER;
    if (auto number = numbers_.find(name); number != numbers_.end())
      return value->vt = VT_I4, value->lVal = number->second, S_OK;
    auto text = texts_.find(name);
    if (text == texts_.end()) return E_INVALIDARG;
    return value->vt = VT_BSTR, value->bstrVal = SysAllocString(text->second.c_str()), S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

 private:
  std::map<std::wstring, std::wstring> texts_;
  std::map<std::wstring, LONG> numbers_;
};

class MockRunningObjectTable : public ComFake<IRunningObjectTable> {
 public:
  MOCK_METHOD(HRESULT, Register, (DWORD, IUnknown*, IMoniker*, DWORD*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Revoke, (DWORD), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, IsRunning, (IMoniker*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetObject, (IMoniker*, IUnknown**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, NoteChangeTime, (DWORD, FILETIME*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetTimeOfLastChange, (IMoniker*, FILETIME*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, EnumRunning, (IEnumMoniker**), COM_OVERRIDE);
};

}  // namespace kivo::test
