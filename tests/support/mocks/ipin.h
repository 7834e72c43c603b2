#pragma once

// A counted mock of IPin: every method of the interface is mocked. Other
// interfaces of the same pin (IAMStreamConfig, IKsPropertySet...) are
// separate fakes handed out with answer().

#include "support/com_fake.h"

#include <gmock/gmock.h>

#include <cwchar>

namespace kivo::test {

class MockPin : public ComFake<IPin> {
 public:
  MOCK_METHOD(HRESULT, Connect, (IPin * receivePin, const AM_MEDIA_TYPE* mediaType),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, ReceiveConnection, (IPin * connector, const AM_MEDIA_TYPE* mediaType),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Disconnect, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, ConnectedTo, (IPin * *pin), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, ConnectionMediaType, (AM_MEDIA_TYPE * mediaType),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, QueryPinInfo, (PIN_INFO * info), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, QueryDirection, (PIN_DIRECTION * direction),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, QueryId, (LPWSTR * id), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, QueryAccept, (const AM_MEDIA_TYPE* mediaType),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, EnumMediaTypes, (IEnumMediaTypes * *enumerator),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, QueryInternalConnections, (IPin * *pins, ULONG* count),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, EndOfStream, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, BeginFlush, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, EndFlush, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, NewSegment, (REFERENCE_TIME start, REFERENCE_TIME stop, double rate),
              (Calltype(STDMETHODCALLTYPE), override));
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
