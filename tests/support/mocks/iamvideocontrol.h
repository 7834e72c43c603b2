#pragma once

#include <kivo/platform.h>

#include "support/com_fake.h"

namespace kivo::test {

class MockAMVideoControl : public ComFake<IAMVideoControl> {
 public:
  MOCK_METHOD(HRESULT, GetCaps, (IPin * pin, LONG* flags), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetMode, (IPin * pin, LONG mode), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetMode, (IPin * pin, LONG* mode), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetCurrentActualFrameRate, (IPin * pin, LONGLONG* frameRate),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetMaxAvailableFrameRate,
              (IPin * pin, LONG index, SIZE dimensions, LONGLONG* frameRate),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetFrameRateList,
              (IPin * pin, LONG index, SIZE dimensions, LONG* listSize, LONGLONG** frameRates),
              (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
