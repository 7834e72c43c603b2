#pragma once

#include "support/com_fake.h"

namespace kivo::test {

class MockMediaSeeking : public ComFake<IMediaSeeking> {
 public:
  MOCK_METHOD(HRESULT, GetCapabilities, (DWORD*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, CheckCapabilities, (DWORD*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, IsFormatSupported, (const GUID*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, QueryPreferredFormat, (GUID*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetTimeFormat, (GUID*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, IsUsingTimeFormat, (const GUID*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetTimeFormat, (const GUID*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetDuration, (LONGLONG*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetStopPosition, (LONGLONG*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetCurrentPosition, (LONGLONG*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, ConvertTimeFormat, (LONGLONG*, const GUID*, LONGLONG, const GUID*),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetPositions, (LONGLONG*, DWORD, LONGLONG*, DWORD),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetPositions, (LONGLONG*, LONGLONG*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetAvailable, (LONGLONG*, LONGLONG*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetRate, (double), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetRate, (double*), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetPreroll, (LONGLONG*), (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
