#pragma once

#include "support/com_fake.h"

namespace kivo::test {

class MockCreateDevEnum : public ComFake<ICreateDevEnum> {
 public:
  MOCK_METHOD(HRESULT, CreateClassEnumerator, (REFCLSID, IEnumMoniker**, DWORD), COM_OVERRIDE);
};

}  // namespace kivo::test
