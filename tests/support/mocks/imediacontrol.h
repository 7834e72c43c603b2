#pragma once

#include "support/com_fake.h"

namespace kivo::test {

class MockMediaControl : public ComFake<IMediaControl> {
 public:
  MOCK_METHOD(HRESULT, GetTypeInfoCount, (UINT*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetTypeInfo, (UINT, LCID, ITypeInfo**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetIDsOfNames, (REFIID, LPOLESTR*, UINT, LCID, DISPID*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Invoke,
              (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*), COM_OVERRIDE);
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
