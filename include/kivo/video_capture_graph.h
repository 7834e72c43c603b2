#pragma once

#include <kivo/capture_graph.h>
#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/mediatype.h>
#include <kivo/platform.h>

#include <functional>
#include <map>

namespace kivo {

class BaseProperty;
class DXSampleGrabber;
class IMediaCB;
class RendererDataSink;
class VideoCapability;
class VideoCaps;
class VideoCaptureFilter;
class VideoInputs;

// The capture graph of one video capture device: capture pin, sample
// grabber, renderer sink. The first render reads the device's formats, the
// frame rates of the selected one and its properties; these, the selected
// format and input, the frame rates and the host's callback survive every
// rebuild of the DirectShow graph and end with reset() or destruction.
//
// Errors follow CaptureGraph's rules: render and start return the first
// failing status, and throw FilterCreationException when a filter the graph
// needs cannot be created (the sample grabber, or the video renderer of the
// fallback that reads the formats through a display chain); a renderer sink
// that cannot be created leaves the stream to end at the grabber. reset
// passes on what the callback's destroy() throws. The graph is Empty before
// any exception leaves; the destructor never throws.
//
// Selections outside the list: setSelectedCapID() accepts only -1 (no
// selection) and the positions of the format list; any other value is
// refused and changes nothing. Every place that reads the selected format
// also treats a position outside the list as no selection, so the list is
// never indexed past its end.
class KIVO_API VideoCaptureGraph : public CaptureGraph {
 public:
  // Frames per second to frame interval (100 ns units), fastest first.
  typedef std::map<double, LONGLONG, std::greater<double>> FrameRateMap;

  // Copies the device (a copy binds the device moniker again, so the graph
  // gets its own device object). rendererMode 1 ends the stream with the
  // video renderer, any other value with the null renderer; only 0 allows
  // the fallback that moves display filters in front of the grabber. No
  // DirectShow call is made here.
  VideoCaptureGraph(VideoCaptureFilter* filter, int rendererMode);
  virtual ~VideoCaptureGraph();

  // The device's formats; null before the first render and after reset().
  VideoCaps* getVideoCapabilities() const;
  // The device's connector inputs; null before the first render and after
  // reset().
  VideoInputs* getVideoInputs() const;

  IMediaCB* getMediaCB() const;
  // Stores the callback, which reaches the sample grabber at the next render.
  // The graph calls the callback's destroy() at reset(); a callback stored
  // before is neither destroyed nor released here.
  void setMediaCB(IMediaCB* callback);

  // Selects a list position of the format list (applied at the next render)
  // and reads that format's frame rates. Does nothing without a format list,
  // and for a position other than -1 or one inside the list.
  void setSelectedCapID(int position);
  // The position of the first format whose full name equals `name` exactly;
  // 0 when none does, for a null name and without a format list.
  int lookupCapIDByName(const char* name);

  // The media type connected at the sample grabber; E_FAIL while the graph
  // has no grabber.
  long getSampleGrabberMediaType(CMediaType& mediaType) const;

  // The frame rates of the selected format as last read; never asks the
  // device.
  const FrameRateMap& getFrameRates() const;
  // Writes the frame interval into the selected format, which every later
  // render applies. A running graph is stopped, reconfigured and restarted
  // at once. With `validate`, an interval whose rate is not in
  // getFrameRates() is refused with E_FAIL. Without a selected format, and
  // so also before the first render and after reset(), E_FAIL and nothing
  // changes.
  long setFrameRate(LONGLONG interval, bool validate);
  // 10000000 / interval; 0.0 for an interval of 0.
  static double convertToFramesPerSecond(LONGLONG interval);

  // Whether the DirectShow graph now built has reported that its device
  // stopped streaming for good: the device was removed (EC_DEVICE_LOST with
  // a second parameter of 0) or a filter aborted the stream with an error
  // (EC_ERRORABORT, EC_ERRORABORTEX, EC_STREAM_ERROR_STOPPED). A closed
  // video window (EC_USERABORT) is not a device fault and is not reported.
  //
  // The graph has no thread of its own for this: each call reads, without
  // waiting, the events queued at the graph's IMediaEvent since the last
  // call, and frees them; other events are discarded. Once seen, the loss
  // is kept, so that later calls, also after stop(), answer true until the
  // DirectShow graph is built again (by render() after reset(), or by
  // start(), which rebuilds it) or reset() discards it. false while the
  // graph is not rendered. Call it from the thread that drives the graph,
  // like every other member; the host then stops or resets the graph.
  bool isDeviceLost();

 protected:
  HRESULT initMediaSection() override;
  void uninitMediaSection() override;
  HRESULT renderMediaSection() override;
  void unrenderMediaSection() override;
  void resetMediaSection() override;
  // Tears the DirectShow graph down and renders it anew, so that every start
  // applies the current format, frame rate, input and callback.
  HRESULT preStart(bool registerGraph) override;

 private:
  VideoCaptureGraph(const VideoCaptureGraph&) = delete;
  VideoCaptureGraph& operator=(const VideoCaptureGraph&) = delete;

  // The capture pin's stream configuration for `mediaType` into
  // streamConfig; the search's status (S_OK only when found).
  HRESULT findStreamConfig(const CComPtr<ICaptureGraphBuilder2>& builder, const GUID& mediaType);
  void addRenderers();
  int initVideoCaps(IBaseFilter* filter, PIN_DIRECTION direction);
  HRESULT shuffleFiltersAndReRender();
  // Cuts `from` off the neighbour getNextFilter finds in `direction`: both
  // pins of the connection are disconnected (the neighbour's first when
  // asked) and the neighbour handed back.
  HRESULT detachNeighbour(IBaseFilter* from, PIN_DIRECTION direction, bool neighbourPinFirst,
                          CComPtr<IBaseFilter>& neighbour);
  const FrameRateMap& queryFrameRates();
  void initProperties();
  void addProperty(BaseProperty* property);
  // The selected capability, or null when nothing (or a position outside
  // the list) is selected.
  VideoCapability* selectedCapability() const;

  VideoCaptureFilter* filter;
  DXSampleGrabber* sampleGrabber;
  CComPtr<IAMStreamConfig> streamConfig;
  RendererDataSink* renderer;
  int rendererMode;
  FrameRateMap frameRates;
  VideoCaps* videoCaps;
  VideoInputs* videoInputs;
  IMediaCB* mediaCB;
  bool deviceLost;

  KIVO_TEST_ACCESS;
};

}  // namespace kivo
