#pragma once

// A counted mock of IBaseFilter: every method of the interface (and of
// IMediaFilter and IPersist, which it extends) is mocked. Other interfaces of
// the same filter (IAMCrossbar, IAMVideoControl...) are separate fakes handed
// out with answer().

#include "support/com_fake.h"

#include <gmock/gmock.h>

namespace kivo::test {

class MockBaseFilter : public ComFake<IBaseFilter> {
 public:
  // IPersist
  MOCK_METHOD(HRESULT, GetClassID, (CLSID * clsid), (Calltype(STDMETHODCALLTYPE), override));
  // IMediaFilter
  MOCK_METHOD(HRESULT, Stop, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Pause, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Run, (REFERENCE_TIME start), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetState, (DWORD timeout, FILTER_STATE* state),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetSyncSource, (IReferenceClock * clock),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetSyncSource, (IReferenceClock * *clock),
              (Calltype(STDMETHODCALLTYPE), override));
  // IBaseFilter
  MOCK_METHOD(HRESULT, EnumPins, (IEnumPins * *enumerator),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, FindPin, (LPCWSTR id, IPin** pin), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, QueryFilterInfo, (FILTER_INFO * info),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, JoinFilterGraph, (IFilterGraph * graph, LPCWSTR name),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, QueryVendorInfo, (LPWSTR * vendorInfo),
              (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
