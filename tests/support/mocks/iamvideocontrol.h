#pragma once

#include <kivo/platform.h>

#include "support/com_fake.h"

namespace kivo::test {

class MockAMVideoControl : public ComFake<IAMVideoControl> {
 public:
  MOCK_METHOD(HRESULT, GetCaps, (IPin * pin, LONG* flags), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetMode, (IPin * pin, LONG mode), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetMode, (IPin * pin, LONG* mode), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetCurrentActualFrameRate, (IPin * pin, LONGLONG* frameRate), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetMaxAvailableFrameRate,
              (IPin * pin, LONG index, SIZE dimensions, LONGLONG* frameRate), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetFrameRateList,
              (IPin * pin, LONG index, SIZE dimensions, LONG* listSize, LONGLONG** frameRates),
              COM_OVERRIDE);
};

}  // namespace kivo::test
