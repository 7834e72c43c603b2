#pragma once

#include "support/com_fake.h"

#include <kivo/platform.h>

#include <gmock/gmock.h>

namespace kivo::test {

class MockMediaControl : public ComFake<IMediaControl> {
 public:
  MOCK_METHOD(HRESULT, GetTypeInfoCount, (UINT * count), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetTypeInfo, (UINT index, LCID locale, ITypeInfo** info),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetIDsOfNames,
              (REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Invoke,
              (DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
               VARIANT* result, EXCEPINFO* exception, UINT* argumentError),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Run, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Pause, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Stop, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetState, (LONG timeout, OAFilterState* state),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, RenderFile, (BSTR file), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, AddSourceFilter, (BSTR file, IDispatch** filter),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, get_FilterCollection, (IDispatch * *collection),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, get_RegFilterCollection, (IDispatch * *collection),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, StopWhenReady, (), (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
