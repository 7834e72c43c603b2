#include <kivo/video_capture_graph.h>

#include <kivo/colorspace.h>
#include <kivo/dx_sample_grabber.h>
#include <kivo/hr_exception.h>
#include <kivo/media_cb.h>
#include <kivo/null_sink.h>
#include <kivo/video_capability.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_caps.h>
#include <kivo/video_inputs.h>
#include <kivo/video_sink.h>
#include <kivo/video_subtype.h>

#include <cstring>
#include <memory>

namespace kivo {

namespace {

// Some drivers report uncompressed RGB with the FOURCC subtype whose code is
// zero; DirectShow's filters only know it as MEDIASUBTYPE_RGB24.
const GUID kZeroFourccSubtype = {
    0x00000000, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// The status an exception carries (it has no public accessor): a copy made
// by a derived class may read it.
class ExceptionStatus : public HRException {
 public:
  explicit ExceptionStatus(const HRException& other) : HRException(other) {}
  long status() const { return hr; }
};

long statusOf(const HRException& exception) { return ExceptionStatus(exception).status(); }

// A media type that asks the grabber for video of the given subtype only
// (GUID_NULL for any video).
AM_MEDIA_TYPE videoRequest(const GUID& subtype) {
  AM_MEDIA_TYPE request;
  std::memset(&request, 0, sizeof(request));
  request.majortype = MEDIATYPE_Video;
  request.subtype = subtype;
  return request;
}

// The events after which a capture device delivers nothing more until its
// graph is built again. EC_DEVICE_LOST's second parameter is 0 when the
// device went away and 1 when it is available again.
bool endsCapture(long code, LONG_PTR param2) {
  switch (code) {
    case EC_DEVICE_LOST:
      return param2 == 0;
    case EC_ERRORABORT:
    case EC_ERRORABORTEX:
    case EC_STREAM_ERROR_STOPPED:
      return true;
    default:
      return false;
  }
}

// The most events one poll reads, so that a filter flooding the queue
// cannot keep the host's thread in isDeviceLost.
const int kEventsPerPoll = 256;

}  // namespace

VideoCaptureGraph::VideoCaptureGraph(VideoCaptureFilter* device, int rendererMode)
    : filter(device ? new VideoCaptureFilter(*device) : nullptr),
      sampleGrabber(nullptr),
      renderer(nullptr),
      rendererMode(rendererMode),
      videoCaps(nullptr),
      videoInputs(nullptr),
      mediaCB(nullptr),
      deviceLost(false) {}

VideoCaptureGraph::~VideoCaptureGraph() {
  reset();
  delete filter;
  filter = nullptr;
  streamConfig.Release();
}

VideoCaps* VideoCaptureGraph::getVideoCapabilities() const { return videoCaps; }

VideoInputs* VideoCaptureGraph::getVideoInputs() const { return videoInputs; }

IMediaCB* VideoCaptureGraph::getMediaCB() const { return mediaCB; }

void VideoCaptureGraph::setMediaCB(IMediaCB* callback) { mediaCB = callback; }

void VideoCaptureGraph::setSelectedCapID(int position) {
  if (!videoCaps) return;
  if (position < -1 || position >= videoCaps->getNumberOfCapabilities()) return;
  videoCaps->setSelectedCapID(position);
  queryFrameRates();
}

int VideoCaptureGraph::lookupCapIDByName(const char* name) {
  if (!name || !videoCaps) return 0;
  const std::vector<VideoCapability>& list = videoCaps->getCapabilityList();
  for (size_t i = 0; i < list.size(); ++i) {
    if (std::strcmp(list[i].getFullName(), name) == 0) return static_cast<int>(i);
  }
  return 0;
}

long VideoCaptureGraph::getSampleGrabberMediaType(CMediaType& mediaType) const {
  if (!sampleGrabber) return E_FAIL;
  return sampleGrabber->getConnectedMediaType(mediaType);
}

VideoCapability* VideoCaptureGraph::selectedCapability() const {
  if (!videoCaps) return nullptr;
  const int position = videoCaps->getSelectedCapID();
  if (position < 0 || position >= videoCaps->getNumberOfCapabilities()) return nullptr;
  // The list is the graph's own: the selected format's media type is where
  // the graph keeps the format and frame interval it applies to the device.
  return const_cast<VideoCapability*>(&videoCaps->getCapabilityList()[position]);
}

HRESULT VideoCaptureGraph::initMediaSection() {
  // A new filter graph manager: its event queue starts empty.
  deviceLost = false;
  if (!filter) return E_POINTER;
  HRESULT hr = addToGraph(filter);
  if (FAILED(hr)) return hr;

  addRenderers();

  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  if (!builder) return E_UNEXPECTED;
  streamConfig.Release();
  hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, filter->getInterface(),
                              IID_IAMStreamConfig, reinterpret_cast<void**>(&streamConfig));
  if (hr != S_OK) {
    streamConfig.Release();
    hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, filter->getInterface(),
                                IID_IAMStreamConfig, reinterpret_cast<void**>(&streamConfig));
    if (hr != S_OK) {
      streamConfig.Release();
      return hr;
    }
  }

  delete sampleGrabber;
  sampleGrabber = nullptr;
  try {
    sampleGrabber = new DXSampleGrabber();
  } catch (const HRException& e) {
    return statusOf(e);
  }
  hr = addToGraph(sampleGrabber);
  if (SUCCEEDED(hr) && !videoInputs) videoInputs = new VideoInputs(filter);
  return hr;
}

void VideoCaptureGraph::addRenderers() {
  delete renderer;
  renderer = nullptr;
  try {
    if (rendererMode == 1) {
      renderer = new VideoSink();
    } else {
      renderer = new NullSink();
    }
  } catch (const HRException&) {
    // A renderer that cannot be created (the video renderer without a
    // display) leaves the stream to end at the grabber.
    return;
  }
  addToGraph(renderer);
}

void VideoCaptureGraph::uninitMediaSection() {
  streamConfig.Release();
  delete sampleGrabber;
  sampleGrabber = nullptr;
  delete renderer;
  renderer = nullptr;
}

HRESULT VideoCaptureGraph::renderMediaSection() {
  if (!filter || !sampleGrabber) return E_UNEXPECTED;
  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  if (!builder) return E_UNEXPECTED;

  VideoCapability* capability = selectedCapability();
  // A capability whose media type could not be copied has nothing to apply.
  if (capability && capability->getMediaType()) {
    AM_MEDIA_TYPE* mediaType = const_cast<AM_MEDIA_TYPE*>(capability->getMediaType());
    if (IsEqualGUID(mediaType->subtype, kZeroFourccSubtype))
      mediaType->subtype = MEDIASUBTYPE_RGB24;
    if (streamConfig) streamConfig->SetFormat(mediaType);
    HRESULT hr;
    if (capability->getSubtype().getColorspaceType() == colorspace::TYPE_COMPRESSED) {
      // The device sends the compressed format; a decoder in front of the
      // grabber hands the host RGB24 frames.
      AM_MEDIA_TYPE rgb = videoRequest(MEDIASUBTYPE_RGB24);
      hr = sampleGrabber->configureMedia(&rgb);
    } else {
      hr = sampleGrabber->configureMedia(mediaType);
    }
    if (FAILED(hr)) return hr;
  }

  if (videoInputs) videoInputs->setSelectedInput(videoInputs->getSelectedInput());

  IBaseFilter* device = filter->getInterface();
  IBaseFilter* grabber = sampleGrabber->getInterface();
  HRESULT hr =
      builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, device, nullptr, grabber);
  if (FAILED(hr)) {
    // The device cannot deliver the requested type: accept any video.
    AM_MEDIA_TYPE anyVideo = videoRequest(GUID_NULL);
    sampleGrabber->configureMedia(&anyVideo);
    hr = builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, device, nullptr, grabber);
    if (FAILED(hr)) return hr;
  }

  hr = sampleGrabber->configureCallback(mediaCB);
  if (FAILED(hr)) return hr;

  if (videoCaps) return hr;

  // First render since construction or reset: read what the device offers.
  videoCaps = new VideoCaps();
  if (initVideoCaps(device, PINDIR_OUTPUT) == 0 && initVideoCaps(grabber, PINDIR_INPUT) == 0) {
    hr = shuffleFiltersAndReRender();
    if (FAILED(hr)) return hr;
    if (initVideoCaps(grabber, PINDIR_INPUT) == 0) return hr;
  }
  initProperties();
  return hr;
}

int VideoCaptureGraph::initVideoCaps(IBaseFilter* source, PIN_DIRECTION direction) {
  if (!videoCaps) return 0;
  CComPtr<IPin> pin;
  CComPtr<IPin> connectedPin;
  CComPtr<IBaseFilter> nextFilter;
  if (FAILED(getNextFilter(source, direction, &pin, &connectedPin, &nextFilter))) return 0;
  // For an input, the formats are those of the output that feeds it.
  videoCaps->initialize(direction == PINDIR_OUTPUT ? pin : connectedPin);
  const int count = videoCaps->getNumberOfCapabilities();
  if (count >= 1) {
    videoCaps->setSelectedCapID(0);
    queryFrameRates();
  }
  return count;
}

HRESULT VideoCaptureGraph::shuffleFiltersAndReRender() {
  if (rendererMode != 0 || !renderer) return E_FAIL;
  CComPtr<IGraphBuilder> graph = getGraphBuilder();
  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  if (!graph || !builder) return E_UNEXPECTED;

  // Take the sink off the filter that feeds it (the grabber).
  CComPtr<IPin> sinkInput;
  CComPtr<IPin> feedingOutput;
  CComPtr<IBaseFilter> upstream;
  HRESULT hr =
      getNextFilter(renderer->getInterface(), PINDIR_INPUT, &sinkInput, &feedingOutput, &upstream);
  if (FAILED(hr)) return hr;
  if (FAILED(hr = graph->Disconnect(sinkInput))) return hr;
  if (FAILED(hr = graph->Disconnect(feedingOutput))) return hr;

  // Let DirectShow build what it needs to show the stream behind the grabber.
  std::unique_ptr<VideoSink> display;
  try {
    display.reset(new VideoSink());
  } catch (const HRException& e) {
    return statusOf(e);
  }
  if (FAILED(hr = addToGraph(display.get()))) return hr;
  {
    CComPtr<IEnumPins> pins;
    if (FAILED(hr = display->getInterface()->EnumPins(&pins))) return hr;
    CComPtr<IPin> first;
    if (!pins || pins->Next(1, &first, nullptr) != S_OK) return E_FAIL;
  }
  hr = builder->RenderStream(nullptr, nullptr, upstream, nullptr, display->getInterface());
  if (FAILED(hr)) return hr;

  // The last filter of the inserted chain, and the display taken away again.
  CComPtr<IPin> displayInput;
  CComPtr<IPin> chainOutput;
  CComPtr<IBaseFilter> chainLast;
  hr =
      getNextFilter(display->getInterface(), PINDIR_INPUT, &displayInput, &chainOutput, &chainLast);
  if (FAILED(hr)) return hr;
  if (FAILED(hr = graph->Disconnect(displayInput))) return hr;
  if (FAILED(hr = graph->Disconnect(chainOutput))) return hr;
  if (FAILED(hr = removeFromGraph(display.get()))) return hr;

  // The first filter of the chain, cut off the grabber's output.
  CComPtr<IPin> upstreamOutput;
  CComPtr<IPin> chainInput;
  CComPtr<IBaseFilter> chainFirst;
  hr = getNextFilter(upstream, PINDIR_OUTPUT, &upstreamOutput, &chainInput, &chainFirst);
  if (FAILED(hr)) return hr;
  if (FAILED(hr = graph->Disconnect(upstreamOutput))) return hr;
  if (FAILED(hr = graph->Disconnect(chainInput))) return hr;

  // The source side, cut off the grabber's input.
  CComPtr<IPin> upstreamInput;
  CComPtr<IPin> sourceOutput;
  CComPtr<IBaseFilter> source;
  hr = getNextFilter(upstream, PINDIR_INPUT, &upstreamInput, &sourceOutput, &source);
  if (FAILED(hr)) return hr;
  if (FAILED(hr = graph->Disconnect(sourceOutput))) return hr;
  if (FAILED(hr = graph->Disconnect(upstreamInput))) return hr;

  // Source, chain, grabber, sink.
  hr = builder->RenderStream(nullptr, &MEDIATYPE_Video, source, nullptr, chainFirst);
  if (FAILED(hr)) return hr;
  hr = builder->RenderStream(nullptr, &MEDIATYPE_Video, chainLast, nullptr, upstream);
  if (FAILED(hr)) return hr;
  hr =
      builder->RenderStream(nullptr, &MEDIATYPE_Video, upstream, nullptr, renderer->getInterface());
  if (FAILED(hr)) return hr;
  return S_OK;
}

void VideoCaptureGraph::unrenderMediaSection() {
  if (filter) nukeDownstream(filter->getInterface());
}

void VideoCaptureGraph::resetMediaSection() {
  delete videoCaps;
  videoCaps = nullptr;
  delete videoInputs;
  videoInputs = nullptr;
  if (mediaCB) {
    IMediaCB* callback = mediaCB;
    mediaCB = nullptr;
    callback->destroy();
  }
  frameRates.clear();
  deviceLost = false;
}

bool VideoCaptureGraph::isDeviceLost() {
  if (deviceLost) return true;
  if (!isRendered()) return false;
  CComPtr<IGraphBuilder> graph = getGraphBuilder();
  if (!graph) return false;
  CComPtr<IMediaEvent> events;
  if (FAILED(graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events))) || !events)
    return false;
  for (int i = 0; i < kEventsPerPoll; ++i) {
    long code = 0;
    LONG_PTR param1 = 0;
    LONG_PTR param2 = 0;
    if (events->GetEvent(&code, &param1, &param2, 0) != S_OK) break;
    if (endsCapture(code, param2)) deviceLost = true;
    events->FreeEventParams(code, param1, param2);
  }
  return deviceLost;
}

HRESULT VideoCaptureGraph::preStart(bool registerGraph) {
  deconstruct();
  return render(registerGraph);
}

}  // namespace kivo
