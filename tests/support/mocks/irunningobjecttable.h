#pragma once

#include "support/com_fake.h"

namespace kivo::test {

class MockRunningObjectTable : public ComFake<IRunningObjectTable> {
 public:
  MOCK_METHOD(HRESULT, Register, (DWORD, IUnknown*, IMoniker*, DWORD*),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Revoke, (DWORD), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, IsRunning, (IMoniker*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetObject, (IMoniker*, IUnknown**), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, NoteChangeTime, (DWORD, FILETIME*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetTimeOfLastChange, (IMoniker*, FILETIME*),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, EnumRunning, (IEnumMoniker**), (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
