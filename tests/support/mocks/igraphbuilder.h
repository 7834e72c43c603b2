#pragma once

#include "support/com_fake.h"

#include <kivo/platform.h>

#include <gmock/gmock.h>

namespace kivo::test {

// A filter graph manager. Hand out its media control with
// answer(IID_IMediaControl, &control).
class MockGraphBuilder : public ComFake<IGraphBuilder> {
 public:
  MOCK_METHOD(HRESULT, AddFilter, (IBaseFilter * filter, LPCWSTR name),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, RemoveFilter, (IBaseFilter * filter),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, EnumFilters, (IEnumFilters * *filters),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, FindFilterByName, (LPCWSTR name, IBaseFilter** filter),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, ConnectDirect, (IPin * out, IPin* in, const AM_MEDIA_TYPE* mediaType),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Reconnect, (IPin * pin), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Disconnect, (IPin * pin), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetDefaultSyncSource, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Connect, (IPin * out, IPin* in), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Render, (IPin * out), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, RenderFile, (LPCWSTR file, LPCWSTR playList),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, AddSourceFilter, (LPCWSTR file, LPCWSTR name, IBaseFilter** filter),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetLogFile, (DWORD_PTR file), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, Abort, (), (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, ShouldOperationContinue, (), (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
