#pragma once

#include "support/com_fake.h"

#include "foundation/dx_diag.h"

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
