#pragma once

#include "support/com_fake.h"

#include <dxdiag.h>

#if defined(__CRT_UUID_DECL)
// dxdiag.h names no identifier for __uuidof.
__CRT_UUID_DECL(IDxDiagContainer, 0x7D0F462F, 0x4064, 0x4862, 0xBC, 0x7F, 0x93, 0x3E, 0x50, 0x58,
                0xC1, 0x0F)
#endif

namespace kivo::test {

class MockDxDiagContainer : public ComFake<IDxDiagContainer> {
 public:
  MOCK_METHOD(HRESULT, GetNumberOfChildContainers, (DWORD*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, EnumChildContainerNames, (DWORD, LPWSTR, DWORD), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetChildContainer, (LPCWSTR, IDxDiagContainer**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetNumberOfProps, (DWORD*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, EnumPropNames, (DWORD, LPWSTR, DWORD), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetProp, (LPCWSTR, VARIANT*), COM_OVERRIDE);
};

}  // namespace kivo::test
