#pragma once

#include <kivo/platform.h>

#include "support/com_fake.h"

namespace kivo::test {

class MockAMAnalogVideoDecoder : public ComFake<IAMAnalogVideoDecoder> {
 public:
  MOCK_METHOD(HRESULT, get_AvailableTVFormats, (LONG * standards), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, put_TVFormat, (LONG standard), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_TVFormat, (LONG * standard), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_HorizontalLocked, (LONG * locked), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, put_VCRHorizontalLocking, (LONG locking), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_VCRHorizontalLocking, (LONG * locking), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_NumberOfLines, (LONG * lines), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, put_OutputEnable, (LONG enable), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_OutputEnable, (LONG * enable), COM_OVERRIDE);
};

}  // namespace kivo::test
