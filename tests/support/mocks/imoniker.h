#pragma once

#include "support/com_fake.h"

namespace kivo::test {

class MockMoniker : public ComFake<IMoniker> {
 public:
  MOCK_METHOD(HRESULT, GetClassID, (CLSID*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, IsDirty, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Load, (IStream*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Save, (IStream*, WINBOOL), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetSizeMax, (ULARGE_INTEGER*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, BindToObject, (IBindCtx*, IMoniker*, REFIID, void**),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, BindToStorage, (IBindCtx*, IMoniker*, REFIID, void**),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Reduce, (IBindCtx*, DWORD, IMoniker**, IMoniker**),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, ComposeWith, (IMoniker*, WINBOOL, IMoniker**),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Enum, (WINBOOL, IEnumMoniker**), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, IsEqual, (IMoniker*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Hash, (DWORD*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, IsRunning, (IBindCtx*, IMoniker*, IMoniker*),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetTimeOfLastChange, (IBindCtx*, IMoniker*, FILETIME*),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Inverse, (IMoniker**), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, CommonPrefixWith, (IMoniker*, IMoniker**),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, RelativePathTo, (IMoniker*, IMoniker**),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetDisplayName, (IBindCtx*, IMoniker*, LPOLESTR*),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, ParseDisplayName, (IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, IsSystemMoniker, (DWORD*), (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
