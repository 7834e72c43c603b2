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

#include "foundation/fourcc.h"
#include "properties/device_catalogue.h"

#include <cstring>
#include <utility>

namespace kivo {

namespace {

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
  try {
    reset();
  } catch (...) {
    // Only the host's callback can throw here, from its destroy(); the
    // graph is torn down all the same.
  }
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
  hr = findStreamConfig(builder, MEDIATYPE_Interleaved);
  if (hr != S_OK) hr = findStreamConfig(builder, MEDIATYPE_Video);
  if (hr != S_OK) return hr;

  // A grabber that cannot be created leaves as FilterCreationException.
  delete sampleGrabber;
  sampleGrabber = nullptr;
  sampleGrabber = new DXSampleGrabber();
  hr = addToGraph(sampleGrabber);
  if (SUCCEEDED(hr) && !videoInputs) videoInputs = new VideoInputs(filter);
  return hr;
}

HRESULT VideoCaptureGraph::findStreamConfig(const CComPtr<ICaptureGraphBuilder2>& builder,
                                            const GUID& mediaType) {
  // A fresh out-parameter each time: a refused search may still have
  // written an interface.
  CComPtr<IAMStreamConfig> found;
  const HRESULT hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &mediaType,
                                            filter->getInterface(), IID_PPV_ARGS(&found));
  streamConfig = hr == S_OK ? found : nullptr;
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
  // Whoever else still holds the grabber must not reach the callback, which
  // reset destroys.
  if (sampleGrabber) sampleGrabber->configureCallback(nullptr);
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
    // Some drivers report uncompressed RGB with the FOURCC subtype whose
    // code is zero; DirectShow's filters only know it as RGB24.
    if (IsEqualGUID(mediaType->subtype, FOURCC_ZERO_SUBTYPE))
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
  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  if (!builder) return E_UNEXPECTED;

  // Take the sink off the filter that feeds it (the grabber).
  CComPtr<IBaseFilter> upstream;
  HRESULT hr = detachNeighbour(renderer->getInterface(), PINDIR_INPUT, false, upstream);
  if (FAILED(hr)) return hr;

  // Let DirectShow build what it needs to show the stream behind the grabber.
  // A display that cannot be created leaves as FilterCreationException.
  VideoSink display;
  if (FAILED(hr = addToGraph(&display))) return hr;
  {
    CComPtr<IEnumPins> pins;
    if (FAILED(hr = display.getInterface()->EnumPins(&pins))) return hr;
    CComPtr<IPin> first;
    if (!pins || pins->Next(1, &first, nullptr) != S_OK) return E_FAIL;
  }
  hr = builder->RenderStream(nullptr, nullptr, upstream, nullptr, display.getInterface());
  if (FAILED(hr)) return hr;

  // The last filter of the inserted chain, and the display taken away again.
  CComPtr<IBaseFilter> chainLast;
  if (FAILED(hr = detachNeighbour(display.getInterface(), PINDIR_INPUT, false, chainLast)))
    return hr;
  if (FAILED(hr = removeFromGraph(&display))) return hr;
  // The first filter of the chain, cut off the grabber's output; then the
  // source side, cut off the grabber's input.
  CComPtr<IBaseFilter> chainFirst;
  if (FAILED(hr = detachNeighbour(upstream, PINDIR_OUTPUT, false, chainFirst))) return hr;
  CComPtr<IBaseFilter> source;
  if (FAILED(hr = detachNeighbour(upstream, PINDIR_INPUT, true, source))) return hr;

  // Source, chain, grabber, sink.
  const std::pair<IBaseFilter*, IBaseFilter*> links[] = {
      {source, chainFirst}, {chainLast, upstream}, {upstream, renderer->getInterface()}};
  for (const auto& link : links) {
    hr = builder->RenderStream(nullptr, &MEDIATYPE_Video, link.first, nullptr, link.second);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT VideoCaptureGraph::detachNeighbour(IBaseFilter* from, PIN_DIRECTION direction,
                                           bool neighbourPinFirst,
                                           CComPtr<IBaseFilter>& neighbour) {
  CComPtr<IPin> ownPin;
  CComPtr<IPin> neighbourPin;
  HRESULT hr = getNextFilter(from, direction, &ownPin, &neighbourPin, &neighbour);
  if (FAILED(hr)) return hr;
  CComPtr<IGraphBuilder> graph = getGraphBuilder();
  if (!graph) return E_UNEXPECTED;
  IPin* first = neighbourPinFirst ? neighbourPin : ownPin;
  IPin* second = neighbourPinFirst ? ownPin : neighbourPin;
  if (FAILED(hr = graph->Disconnect(first))) return hr;
  return graph->Disconnect(second);
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

void VideoCaptureGraph::initProperties() {
  if (!filter) return;
  const CComPtr<IBaseFilter>& device = filter->getInterface();
  CComPtr<IPin> capturePin;
  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  if (!builder || FAILED(builder->FindPin(device, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE,
                                          &MEDIATYPE_Video, FALSE, 0, &capturePin)))
    capturePin = nullptr;
  for (auto& property : properties::createDeviceProperties(device, capturePin))
    addProperty(property.release());
}

void VideoCaptureGraph::addProperty(BaseProperty* property) {
  if (!property) return;
  BaseProperty* dependent = property->getDependentProperty();
  if (!property->isSupported()) {
    // A companion is not owned by its property: it goes with it here.
    delete dependent;
    delete property;
    return;
  }
  addDirectXProperty(property);
  if (dependent) addDirectXProperty(dependent);
}

bool VideoCaptureGraph::isDeviceLost() {
  if (deviceLost) return true;
  if (!isRendered()) return false;
  CComPtr<IGraphBuilder> graph = getGraphBuilder();
  if (!graph) return false;
  CComPtr<IMediaEvent> events;
  if (FAILED(graph.QueryInterface(&events)) || !events) return false;
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
