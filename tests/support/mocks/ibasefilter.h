#pragma once

// A counted mock of IBaseFilter; its other interfaces are fakes handed out with answer().

#include "support/com_fake.h"

namespace kivo::test {

class MockBaseFilter : public ComFake<IBaseFilter> {
 public:
  MOCK_METHOD(HRESULT, GetClassID, (CLSID * clsid), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Stop, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Pause, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Run, (REFERENCE_TIME start), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetState, (DWORD timeout, FILTER_STATE* state), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetSyncSource, (IReferenceClock * clock), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetSyncSource, (IReferenceClock * *clock), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, EnumPins, (IEnumPins * *enumerator), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, FindPin, (LPCWSTR id, IPin** pin), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, QueryFilterInfo, (FILTER_INFO * info), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, JoinFilterGraph, (IFilterGraph * graph, LPCWSTR name), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, QueryVendorInfo, (LPWSTR * vendorInfo), COM_OVERRIDE);
};

}  // namespace kivo::test
