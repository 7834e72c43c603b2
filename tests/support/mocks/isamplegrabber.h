#pragma once

#include "support/com_fake.h"

#include <kivo/platform.h>

#include <gmock/gmock.h>

namespace kivo::test {

class MockSampleGrabber : public ComFake<ISampleGrabber> {
 public:
  MOCK_METHOD(HRESULT, SetOneShot, (WINBOOL oneShot), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetMediaType, (const AM_MEDIA_TYPE* mediaType),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetConnectedMediaType, (AM_MEDIA_TYPE * mediaType),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetBufferSamples, (WINBOOL bufferThem),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetCurrentBuffer, (LONG * size, LONG* buffer),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetCurrentSample, (IMediaSample * *sample),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetCallback, (ISampleGrabberCB * callback, LONG method),
              (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
