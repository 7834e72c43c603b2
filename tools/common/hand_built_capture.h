#pragma once

// A video capture device's graph built by hand with plain COM, the way a
// host without kivo builds one: the system device enumerator finds the
// device's moniker by friendly name, the moniker is bound, and a filter
// graph with the capture graph builder connects the capture pin through a
// sample grabber (taking the chosen format) to a null renderer. kivo-bench
// starts it in a host of its own that does not load kivo.dll, to set the
// time to a first frame and the processor time per frame against kivo's.

#include <kivo/comptr.h>
#include <kivo/platform.h>

#include <cstddef>
#include <string>

namespace kivo::tools {

// The moniker of the first video input device whose friendly name is `name`
// (UTF-16); S_FALSE when there is none.
HRESULT findDeviceMoniker(const std::wstring& name, kivo::CComPtr<IMoniker>& moniker);

// The monikers of the video input category, walked without reading or
// binding any: what listing the devices costs the platform itself.
size_t countVideoDeviceMonikers();

// A format as kivo names it ("RGB24_640x480": subtype, width and height)
// and a frame interval in 100 ns units.
struct CaptureFormat {
  std::string name;
  LONGLONG interval = 0;
};

class HandBuiltCapture {
 public:
  HandBuiltCapture() = default;
  HandBuiltCapture(const HandBuiltCapture&) = delete;
  HandBuiltCapture& operator=(const HandBuiltCapture&) = delete;
  // Stops the graph if it runs, and detaches the callback.
  ~HandBuiltCapture();

  // Binds the device's moniker.
  HRESULT open(IMoniker* moniker);
  // Builds the graph on the opened device: the capture pin is set to
  // `format` (VFW_E_TYPE_NOT_ACCEPTED when the pin does not offer it), the
  // grabber takes the same media type and calls `callback`'s SampleCB.
  HRESULT build(const CaptureFormat& format, ISampleGrabberCB* callback);
  HRESULT run();

 private:
  HRESULT createGraph();
  HRESULT selectFormat(const CaptureFormat& format, AM_MEDIA_TYPE** chosen);
  HRESULT addGrabber(const AM_MEDIA_TYPE& type, ISampleGrabberCB* callback);

  kivo::CComPtr<IBaseFilter> device_;
  kivo::CComPtr<IGraphBuilder> graph_;
  kivo::CComPtr<ICaptureGraphBuilder2> builder_;
  kivo::CComPtr<IAMStreamConfig> streamConfig_;
  kivo::CComPtr<IBaseFilter> grabberFilter_, sink_;
  kivo::CComPtr<ISampleGrabber> grabber_;
  kivo::CComPtr<IMediaControl> control_;
};

}  // namespace kivo::tools
