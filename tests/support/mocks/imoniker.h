#pragma once

#include "support/com_fake.h"

namespace kivo::test {

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

}  // namespace kivo::test
