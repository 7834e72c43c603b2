#pragma once

#include "support/com_fake.h"

#include <gmock/gmock.h>

namespace kivo::test {

class MockAMStreamConfig : public ComFake<IAMStreamConfig> {
 public:
  MOCK_METHOD(HRESULT, SetFormat, (AM_MEDIA_TYPE * mediaType), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetFormat, (AM_MEDIA_TYPE * *mediaType), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetNumberOfCapabilities, (int* count, int* size), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetStreamCaps, (int index, AM_MEDIA_TYPE** mediaType, BYTE* caps),
              COM_OVERRIDE);
};

}  // namespace kivo::test
