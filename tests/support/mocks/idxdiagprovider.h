#pragma once

#include "support/com_fake.h"

#include "foundation/dx_diag.h"

namespace kivo::test {

class MockDxDiagProvider : public ComFake<IDxDiagProvider> {
 public:
  MOCK_METHOD(HRESULT, Initialize, (DXDIAG_INIT_PARAMS*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetRootContainer, (IDxDiagContainer**), COM_OVERRIDE);
};

}  // namespace kivo::test
