#pragma once

#include "support/com_fake.h"

#include <dxdiag.h>

#if defined(__CRT_UUID_DECL)
// dxdiag.h names no identifier for __uuidof.
__CRT_UUID_DECL(IDxDiagProvider, 0x9C6B4CB0, 0x23F8, 0x49CC, 0xA3, 0xED, 0x45, 0xA5, 0x50, 0x00,
                0xA6, 0xD2)
#endif

namespace kivo::test {

class MockDxDiagProvider : public ComFake<IDxDiagProvider> {
 public:
  MOCK_METHOD(HRESULT, Initialize, (DXDIAG_INIT_PARAMS*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetRootContainer, (IDxDiagContainer**), COM_OVERRIDE);
};

}  // namespace kivo::test
