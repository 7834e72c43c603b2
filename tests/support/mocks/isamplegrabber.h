#pragma once

#include "support/com_fake.h"

#include <kivo/platform.h>

#include <gmock/gmock.h>

namespace kivo::test {

class MockSampleGrabber : public ComFake<ISampleGrabber> {
 public:
  MOCK_METHOD(HRESULT, SetOneShot, (WINBOOL oneShot), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetMediaType, (const AM_MEDIA_TYPE* mediaType), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetConnectedMediaType, (AM_MEDIA_TYPE * mediaType), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetBufferSamples, (WINBOOL bufferThem), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetCurrentBuffer, (LONG * size, LONG* buffer), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetCurrentSample, (IMediaSample * *sample), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetCallback, (ISampleGrabberCB * callback, LONG method), COM_OVERRIDE);
};

}  // namespace kivo::test
