#pragma once

#include "support/com_fake.h"

#include <kivo/platform.h>

#include <gmock/gmock.h>

namespace kivo::test {

class MockMediaControl : public ComFake<IMediaControl> {
 public:
  MOCK_METHOD(HRESULT, GetTypeInfoCount, (UINT * count), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetTypeInfo, (UINT index, LCID locale, ITypeInfo** info), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetIDsOfNames,
              (REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Invoke,
              (DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
               VARIANT* result, EXCEPINFO* exception, UINT* argumentError),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Run, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Pause, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Stop, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetState, (LONG timeout, OAFilterState* state), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, RenderFile, (BSTR file), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, AddSourceFilter, (BSTR file, IDispatch** filter), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_FilterCollection, (IDispatch * *collection), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, get_RegFilterCollection, (IDispatch * *collection), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, StopWhenReady, (), COM_OVERRIDE);
};

}  // namespace kivo::test
