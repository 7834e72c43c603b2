// The file graph's life cycle: the callbacks and their grabber chains, the
// media-section hooks and the connection of the source to the grabbers. The
// codec diagnosis and the position model live in files of their own.

#include <kivo/file_capture_graph.h>

#include <kivo/dx_media_info.h>
#include <kivo/filter.h>
#include <kivo/position_unsupported_exception.h>
#include <kivo/util.h>

#include "file/riff_structure.h"
#include "file/sample_grabber_chain.h"

namespace kivo {

const std::string FileCaptureGraph::sourceFilterName = "File Source Filter";
const std::wstring FileCaptureGraph::wideSourceFilterName = L"File Source Filter";
const std::string FileCaptureGraph::unknownCodec = "Unknown Codec";

FileCaptureGraph::FileCaptureGraph(const std::wstring& fileName)
    : fileName(fileName),
      source(nullptr),
      videoChain(nullptr),
      audioChain(nullptr),
      resumePosition(0.0),
      missingCodecName(unknownCodec) {}

FileCaptureGraph::~FileCaptureGraph() {
  // Stop the streaming threads before the chains and their grabbers go.
  try {
    deconstruct();
  } catch (...) {
    // The position could not be saved: nothing to keep for a graph that is
    // going away. The teardown itself has completed.
  }
  delete audioChain;
  delete videoChain;
  delete source;
}

// --- callbacks and chains ---------------------------------------------------

void FileCaptureGraph::unrenderForNewChain() {
  if (!isRendered()) return;
  try {
    deconstruct();
  } catch (const PositionUnsupportedException&) {
    // The teardown has completed all the same: only the saved position is
    // lost, and the next render reads on from the one saved before.
  }
}

void FileCaptureGraph::setVideoCallback(IMediaCB* callback, VideoFrameFormat format) {
  unrenderForNewChain();
  SampleGrabberChain* replaced = videoChain;
  videoChain = createSampleGrabberChain(callback, MEDIATYPE_Video, videoColorFormatToGUID(format));
  delete replaced;
}

void FileCaptureGraph::setAudioCallback(IMediaCB* callback, AudioSampleFormat format) {
  unrenderForNewChain();
  SampleGrabberChain* replaced = audioChain;
  audioChain = createSampleGrabberChain(callback, MEDIATYPE_Audio, audioSampleFormatToGUID(format));
  delete replaced;
}

const DXMediaInfo* FileCaptureGraph::getVideoInfo() {
  return videoChain ? videoChain->getConnectedMediaInfo() : nullptr;
}

const DXMediaInfo* FileCaptureGraph::getAudioInfo() {
  return audioChain ? audioChain->getConnectedMediaInfo() : nullptr;
}

std::string FileCaptureGraph::getMissingCodecName() { return missingCodecName; }

const GUID& FileCaptureGraph::videoColorFormatToGUID(const VideoFrameFormat& format) {
  switch (format) {
    case FRAME_RGB24:
      return MEDIASUBTYPE_RGB24;
    case FRAME_YUY2:
      return MEDIASUBTYPE_YUY2;
    default:
      return GUID_NULL;
  }
}

const GUID& FileCaptureGraph::audioSampleFormatToGUID(const AudioSampleFormat& format) {
  return format == SAMPLE_PCM ? MEDIASUBTYPE_PCM : GUID_NULL;
}

SampleGrabberChain* FileCaptureGraph::createSampleGrabberChain(IMediaCB* callback,
                                                               const GUID& majorType,
                                                               const GUID& subType) {
  CMediaType requested(&majorType);
  requested.SetSubtype(&subType);
  return new SampleGrabberChain(callback, requested);
}

long FileCaptureGraph::initAndAddChain(SampleGrabberChain* chain) {
  if (!chain) return S_OK;
  HRESULT hr = chain->init();
  if (FAILED(hr)) return hr;
  std::vector<Filter*> filters;
  hr = chain->getFilters(filters);
  if (FAILED(hr)) return hr;
  for (Filter* filter : filters) {
    hr = addToGraph(filter);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

long FileCaptureGraph::connectChain(SampleGrabberChain* chain) {
  if (!chain) return S_OK;
  std::vector<Filter*> filters;
  HRESULT hr = chain->getFilters(filters);
  if (FAILED(hr)) return hr;
  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  if (!builder) return E_UNEXPECTED;
  const GUID majorType = chain->getMediaType()->majortype;
  for (size_t i = 1; i < filters.size(); ++i) {
    hr = builder->RenderStream(nullptr, &majorType, filters[i - 1]->getInterface(), nullptr,
                               filters[i]->getInterface());
    if (FAILED(hr)) return hr;
  }
  return chain->initConnectedMediaInfo();
}

void FileCaptureGraph::uninitAndRemoveChain(SampleGrabberChain* chain) {
  if (chain) chain->uninit();
}

long FileCaptureGraph::getChainHead(SampleGrabberChain* chain, Filter*& head) {
  if (!chain) return S_OK;
  std::vector<Filter*> filters;
  const HRESULT hr = chain->getFilters(filters);
  if (FAILED(hr)) return hr;
  if (filters.empty()) return E_UNEXPECTED;
  head = filters.front();
  return S_OK;
}

// --- media-section hooks ----------------------------------------------------

long FileCaptureGraph::initMediaSection() {
  HRESULT hr = initSource();
  if (FAILED(hr)) return hr;
  hr = initAndAddChain(videoChain);
  if (FAILED(hr)) return hr;
  return initAndAddChain(audioChain);
}

void FileCaptureGraph::uninitMediaSection() {
  uninitAndRemoveChain(videoChain);
  uninitAndRemoveChain(audioChain);
  uninitSource();
}

long FileCaptureGraph::initSource() {
  CComPtr<IGraphBuilder> graph = getGraphBuilder();
  if (!graph) return E_UNEXPECTED;
  // Before the platform's parsers see the file: some wait for ever on one
  // whose structure cannot be read.
  if (hasBrokenRiffStructure(fileName)) return VFW_E_INVALID_FILE_FORMAT;
  CComPtr<IBaseFilter> filter;
  const HRESULT hr =
      graph->AddSourceFilter(fileName.c_str(), wideSourceFilterName.c_str(), &filter);
  if (SUCCEEDED(hr)) {
    Filter* opened =
        new Filter(sourceFilterName.c_str(), filter, CComPtr<IMoniker>(), CComPtr<IBindCtx>());
    delete source;
    source = opened;
  }
  return hr;
}

void FileCaptureGraph::uninitSource() {
  delete source;
  source = nullptr;
}

long FileCaptureGraph::renderMediaSection() {
  HRESULT hr = E_UNEXPECTED;
  if (source && (videoChain || audioChain)) hr = connectSource(source, videoChain, audioChain);
  if (FAILED(hr)) {
    missingCodecName = findMissingCodecName();
    return hr;
  }

  hr = connectChain(videoChain);
  if (FAILED(hr)) return hr;
  hr = connectChain(audioChain);
  if (FAILED(hr)) return hr;

  CComPtr<IGraphBuilder> graph = getGraphBuilder();
  hr = graph.QueryInterface(&mediaSeeking);
  if (FAILED(hr)) return hr;
  CComPtr<IMediaFilter> mediaFilter;
  hr = graph.QueryInterface(&mediaFilter);
  if (FAILED(hr)) return hr;
  // Without a reference clock the file is read as fast as it is decoded.
  hr = mediaFilter->SetSyncSource(nullptr);
  if (FAILED(hr)) return hr;

  // A new graph stands at the start of the file already. Seeking there
  // anyway is not free: some splitters read markedly slower after a seek.
  if (resumePosition == 0.0) return hr;
  try {
    setPosition(util::secondsToReferenceTime(resumePosition), TIME_FORMAT_MEDIA_TIME);
  } catch (...) {
    return E_FAIL;
  }
  return hr;
}

void FileCaptureGraph::unrenderMediaSection() {
  // The position is kept for the next render, so that a reset graph reads on
  // from here. It is worth keeping, not worth a half-torn graph: the filters
  // go whether it could be read or not.
  const bool positionSaved = !mediaSeeking || saveResumePosition();
  mediaSeeking.Release();
  if (source) nukeDownstream(source->getInterface());
  if (!positionSaved) throw PositionUnsupportedException();
}

void FileCaptureGraph::resetMediaSection() {}

// --- connecting the source ---------------------------------------------------

long FileCaptureGraph::connectSource(Filter* from, SampleGrabberChain* first,
                                     SampleGrabberChain* second) {
  if (!from || (!first && !second)) return E_UNEXPECTED;
  const HRESULT hr = connectSourceToGrabber(from, first);
  if (FAILED(hr)) return hr;
  return connectSourceToGrabber(from, second);
}

long FileCaptureGraph::connectSourceToGrabber(Filter* from, SampleGrabberChain* chain) {
  if (!from) return E_UNEXPECTED;
  if (!chain) return S_OK;
  std::vector<Filter*> filters;
  const HRESULT listed = chain->getFilters(filters);
  if (FAILED(listed)) return listed;
  if (filters.empty() || !filters.front()) return E_UNEXPECTED;
  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  if (!builder) return E_UNEXPECTED;
  // A source that already offers the stream's major type is connected by
  // type; otherwise the builder inserts the splitter and decoders itself and
  // the grabber's accepted type decides which stream ends in it.
  const GUID majorType = chain->getMediaType()->majortype;
  const GUID* type = filterContainsCompatibleOutputPin(*from, majorType) ? &majorType : nullptr;
  IBaseFilter* grabber = filters.front()->getInterface();
  const HRESULT hr = builder->RenderStream(nullptr, type, from->getInterface(), nullptr, grabber);
  if (SUCCEEDED(hr) || type) return hr;
  // The second stream of a file leaves from the splitter that the first one
  // connected to the source's only pin. Some capture graph builders look
  // past connected pins only when they are told the type to look for.
  const HRESULT typed =
      builder->RenderStream(nullptr, &majorType, from->getInterface(), nullptr, grabber);
  return SUCCEEDED(typed) ? typed : hr;
}

bool FileCaptureGraph::filterContainsCompatibleOutputPin(Filter& filter, const GUID& majorType) {
  const CComPtr<IBaseFilter>& object = filter.getInterface();
  if (!object) return false;
  CComPtr<IEnumPins> pins;
  if (FAILED(object->EnumPins(&pins)) || !pins) return false;
  if (FAILED(pins->Reset())) return false;
  for (;;) {
    CComPtr<IPin> pin;
    if (pins->Next(1, &pin, nullptr) != S_OK) return false;
    if (isOutputPinCompatible(pin, majorType)) return true;
  }
}

bool FileCaptureGraph::isOutputPinCompatible(CComPtr<IPin>& pin, const GUID& majorType) {
  PIN_DIRECTION direction = PINDIR_INPUT;
  if (FAILED(pin->QueryDirection(&direction)) || direction == PINDIR_INPUT) return false;
  CComPtr<IEnumMediaTypes> types;
  if (FAILED(pin->EnumMediaTypes(&types)) || !types) return false;
  return hasMatchingMajorType(types, majorType);
}

bool FileCaptureGraph::hasMatchingMajorType(CComPtr<IEnumMediaTypes>& types,
                                            const GUID& majorType) {
  if (FAILED(types->Reset())) return false;
  for (;;) {
    MediaTypePtr type;
    if (types->Next(1, &type, nullptr) != S_OK) return false;
    if (type && type->majortype == majorType) return true;
  }
}

}  // namespace kivo
