#pragma once

#include "support/com_fake.h"

#include <kivo/platform.h>

#include <gmock/gmock.h>

namespace kivo::test {

class MockCaptureGraphBuilder2 : public ComFake<ICaptureGraphBuilder2> {
 public:
  MOCK_METHOD(HRESULT, SetFiltergraph, (IGraphBuilder * graph),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, GetFiltergraph, (IGraphBuilder * *graph),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, SetOutputFileName,
              (const GUID* type, LPCOLESTR file, IBaseFilter** filter, IFileSinkFilter** sink),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, FindInterface,
              (const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid,
               void** object),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, RenderStream,
              (const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* compressor,
               IBaseFilter* renderer),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, ControlStream,
              (const GUID* category, const GUID* type, IBaseFilter* filter, REFERENCE_TIME* start,
               REFERENCE_TIME* stop, WORD startCookie, WORD stopCookie),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, AllocCapFile, (LPCOLESTR file, DWORDLONG size),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, CopyCaptureFile,
              (LPOLESTR oldFile, LPOLESTR newFile, int allowEscAbort,
               IAMCopyCaptureFileProgress* callback),
              (Calltype(STDMETHODCALLTYPE), override));
  MOCK_METHOD(HRESULT, FindPin,
              (IUnknown * source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
               WINBOOL unconnected, int index, IPin** pin),
              (Calltype(STDMETHODCALLTYPE), override));
};

}  // namespace kivo::test
