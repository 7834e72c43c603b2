#pragma once

#include "support/com_fake.h"

#include <kivo/platform.h>

#include <gmock/gmock.h>

namespace kivo::test {

class MockCaptureGraphBuilder2 : public ComFake<ICaptureGraphBuilder2> {
 public:
  MOCK_METHOD(HRESULT, SetFiltergraph, (IGraphBuilder * graph), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetFiltergraph, (IGraphBuilder * *graph), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetOutputFileName,
              (const GUID* type, LPCOLESTR file, IBaseFilter** filter, IFileSinkFilter** sink),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, FindInterface,
              (const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid,
               void** object),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, RenderStream,
              (const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* compressor,
               IBaseFilter* renderer),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, ControlStream,
              (const GUID* category, const GUID* type, IBaseFilter* filter, REFERENCE_TIME* start,
               REFERENCE_TIME* stop, WORD startCookie, WORD stopCookie),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, AllocCapFile, (LPCOLESTR file, DWORDLONG size), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, CopyCaptureFile,
              (LPOLESTR oldFile, LPOLESTR newFile, int allowEscAbort,
               IAMCopyCaptureFileProgress* callback),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, FindPin,
              (IUnknown * source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
               WINBOOL unconnected, int index, IPin** pin),
              COM_OVERRIDE);
};

}  // namespace kivo::test
