#pragma once

#include <kivo/platform.h>

#if defined(__MINGW32__) && !defined(_MSC_VER)
// MinGW's strmif.h declares the interface without binding its identifier to
// the type, which the counted fakes look up through __uuidof.
__CRT_UUID_DECL(IAMAnalogVideoDecoder, 0xc6e13350, 0x30ac, 0x11d0, 0xa1, 0x8c, 0x00, 0xa0, 0xc9,
                0x11, 0x89, 0x56)
#endif

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
