#pragma once

// A counted mock of IAMStreamConfig.

#include "support/com_fake.h"

#include <gmock/gmock.h>

namespace kivo::test {

class MockAMStreamConfig : public ComFake<IAMStreamConfig> {
 public:
  MOCK_METHOD(HRESULT, SetFormat, (AM_MEDIA_TYPE * mediaType),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetFormat, (AM_MEDIA_TYPE * *mediaType),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetNumberOfCapabilities, (int* count, int* size),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetStreamCaps, (int index, AM_MEDIA_TYPE** mediaType, BYTE* caps),
              (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
