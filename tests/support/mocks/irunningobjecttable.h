#pragma once

#include "support/com_fake.h"

namespace kivo::test {

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
