#pragma once

#include "support/com_fake.h"

namespace kivo::test {

class MockCaptureGraphBuilder2 : public ComFake<ICaptureGraphBuilder2> {
 public:
  MOCK_METHOD(HRESULT, SetFiltergraph, (IGraphBuilder * graph), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, GetFiltergraph, (IGraphBuilder * *graph), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, SetOutputFileName,
              (const GUID*, LPCOLESTR, IBaseFilter**, IFileSinkFilter**), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, FindInterface,
              (const GUID* category, const GUID* type, IBaseFilter* filter, REFIID, void** out),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, RenderStream,
              (const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* compressor,
               IBaseFilter* renderer),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, ControlStream,
              (const GUID*, const GUID*, IBaseFilter*, REFERENCE_TIME*, REFERENCE_TIME*, WORD,
               WORD),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, AllocCapFile, (LPCOLESTR file, DWORDLONG size), COM_OVERRIDE);
  MOCK_METHOD(HRESULT, CopyCaptureFile, (LPOLESTR, LPOLESTR, int, IAMCopyCaptureFileProgress*),
              COM_OVERRIDE);
  MOCK_METHOD(HRESULT, FindPin,
              (IUnknown*, PIN_DIRECTION, const GUID*, const GUID*, WINBOOL, int, IPin**),
              COM_OVERRIDE);
};

}  // namespace kivo::test
