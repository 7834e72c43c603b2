#pragma once

#include <kivo/platform.h>

#include "support/com_fake.h"

namespace kivo::test {

class MockAMVideoProcAmp : public ComFake<IAMVideoProcAmp> {
 public:
  MOCK_METHOD(HRESULT, GetRange,
              (LONG property, LONG* minimum, LONG* maximum, LONG* steppingDelta, LONG* defaultValue,
               LONG* capsFlags),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Set, (LONG property, LONG value, LONG flags), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Get, (LONG property, LONG* value, LONG* flags), COM_OVERRIDE);
};

}  // namespace kivo::test
