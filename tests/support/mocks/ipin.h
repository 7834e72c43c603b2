#pragma once

// A counted mock of IPin; its other interfaces are fakes handed out with answer().

#include "support/com_fake.h"

#include <cwchar>

namespace kivo::test {

class MockPin : public ComFake<IPin> {
 public:
  MOCK_METHOD(HRESULT, Connect, (IPin * receivePin, const AM_MEDIA_TYPE* mediaType), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, ReceiveConnection, (IPin*, const AM_MEDIA_TYPE*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Disconnect, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, ConnectedTo, (IPin * *pin), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, ConnectionMediaType, (AM_MEDIA_TYPE * mediaType), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, QueryPinInfo, (PIN_INFO * info), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, QueryDirection, (PIN_DIRECTION * direction), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, QueryId, (LPWSTR * id), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, QueryAccept, (const AM_MEDIA_TYPE* mediaType), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, EnumMediaTypes, (IEnumMediaTypes * *enumerator), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, QueryInternalConnections, (IPin * *pins, ULONG* count), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, EndOfStream, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, BeginFlush, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, EndFlush, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, NewSegment, (REFERENCE_TIME, REFERENCE_TIME, double), COM_OVERRIDE);
};

// gmock action for QueryPinInfo: fills the PIN_INFO as a real pin does, with
// one added reference on the owning filter (which the caller releases).
inline auto ReportPinInfo(IBaseFilter* filter, PIN_DIRECTION direction,
                          const wchar_t* name = L"pin", HRESULT status = S_OK) {
  return [=](PIN_INFO* info) -> HRESULT {
    if (!info) return E_POINTER;
    info->pFilter = filter;
    if (filter) filter->AddRef();
    info->dir = direction;
    wcsncpy(info->achName, name, MAX_PIN_NAME - 1);
    info->achName[MAX_PIN_NAME - 1] = L'\0';
    return status;
  };
}

// gmock action for QueryDirection.
inline auto ReportDirection(PIN_DIRECTION direction) {
  return [=](PIN_DIRECTION* out) -> HRESULT {
    if (!out) return E_POINTER;
    *out = direction;
    return S_OK;
  };
}

}  // namespace kivo::test
