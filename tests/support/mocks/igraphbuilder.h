#pragma once

#include "support/com_fake.h"

namespace kivo::test {

// A filter graph manager; answer(IID_IMediaControl, &control) hands out its media control.
class MockGraphBuilder : public ComFake<IGraphBuilder> {
 public:
  MOCK_METHOD(HRESULT, AddFilter, (IBaseFilter * filter, LPCWSTR name), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, RemoveFilter, (IBaseFilter * filter), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, EnumFilters, (IEnumFilters * *filters), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, FindFilterByName, (LPCWSTR name, IBaseFilter** filter), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, ConnectDirect, (IPin * out, IPin* in, const AM_MEDIA_TYPE*), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Reconnect, (IPin * pin), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Disconnect, (IPin * pin), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetDefaultSyncSource, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Connect, (IPin * out, IPin* in), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Render, (IPin * out), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, RenderFile, (LPCWSTR file, LPCWSTR playList), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, AddSourceFilter, (LPCWSTR, LPCWSTR, IBaseFilter**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetLogFile, (DWORD_PTR file), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, Abort, (), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, ShouldOperationContinue, (), COM_OVERRIDE);
};

}  // namespace kivo::test
