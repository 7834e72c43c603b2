#pragma once

#include "support/com_fake.h"

namespace kivo::test {

class MockMediaSeeking : public ComFake<IMediaSeeking> {
 public:
  MOCK_METHOD(HRESULT, GetCapabilities, (DWORD*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, CheckCapabilities, (DWORD*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, IsFormatSupported, (const GUID*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, QueryPreferredFormat, (GUID*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetTimeFormat, (GUID*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, IsUsingTimeFormat, (const GUID*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetTimeFormat, (const GUID*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetDuration, (LONGLONG*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetStopPosition, (LONGLONG*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetCurrentPosition, (LONGLONG*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, ConvertTimeFormat, (LONGLONG*, const GUID*, LONGLONG, const GUID*),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetPositions, (LONGLONG*, DWORD, LONGLONG*, DWORD), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetPositions, (LONGLONG*, LONGLONG*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetAvailable, (LONGLONG*, LONGLONG*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetRate, (double), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetRate, (double*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetPreroll, (LONGLONG*), COM_OVERRIDE);
};

}  // namespace kivo::test
