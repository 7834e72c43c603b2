#include <kivo/file_capture_graph.h>

#include <kivo/duration_unsupported_exception.h>
#include <kivo/dx_media_info.h>
#include <kivo/filter.h>
#include <kivo/position_unsupported_exception.h>
#include <kivo/util.h>
#include <kivo/video_subtype.h>

#include "file/avi_header.h"
#include "file/sample_grabber_chain.h"
#include "file/scoped_time_format.h"

namespace kivo {

const std::string FileCaptureGraph::sourceFilterName = "File Source Filter";
const std::wstring FileCaptureGraph::wideSourceFilterName = L"File Source Filter";
const std::string FileCaptureGraph::unknownCodec = "Unknown Codec";

namespace {

const char* const kAviSplitterName = "KVO Avi Splitter";

// More output pins than an AVI splitter offers for the streams of a file.
const int kMaxSplitterOutputs = 16;


// Subtypes of the MPEG-2 streams whose decoder is named "MPEG-2".
bool isMpeg2Stream(const GUID& subtype) {
  return subtype == MEDIASUBTYPE_MPEG2_PROGRAM || subtype == MEDIASUBTYPE_MPEG2_TRANSPORT ||
         subtype == MEDIASUBTYPE_MPEG2_TRANSPORT_STRIDE || subtype == MEDIASUBTYPE_MPEG2_VIDEO;
}

}  // namespace

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
    // going away.
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
    // The graph is stopped; only the saved position is lost.
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
  audioChain =
      createSampleGrabberChain(callback, MEDIATYPE_Audio, audioSampleFormatToGUID(format));
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
  CComPtr<IBaseFilter> filter;
  const HRESULT hr = graph->AddSourceFilter(fileName.c_str(), wideSourceFilterName.c_str(), &filter);
  if (SUCCEEDED(hr)) {
    Filter* opened = new Filter(sourceFilterName.c_str(), filter, CComPtr<IMoniker>(),
                                CComPtr<IBindCtx>());
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
  if (isAviCutBeforeItsData(fileName)) {
    missingCodecName = unknownCodec;
    return VFW_E_INVALID_FILE_FORMAT;
  }
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
  hr = graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&mediaSeeking));
  if (FAILED(hr)) return hr;
  CComPtr<IMediaFilter> mediaFilter;
  hr = graph->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&mediaFilter));
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
  if (mediaSeeking) {
    // Kept for the next render, so that a reset graph reads on from here.
    resumePosition = util::referenceTimeToSeconds(getPosition(TIME_FORMAT_MEDIA_TIME));
  }
  mediaSeeking.Release();
  if (source) nukeDownstream(source->getInterface());
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
    AM_MEDIA_TYPE* type = nullptr;
    if (types->Next(1, &type, nullptr) != S_OK) return false;
    const bool matches = type && type->majortype == majorType;
    DeleteMediaType(type);
    if (matches) return true;
  }
}

GUID FileCaptureGraph::getMediaSubTypeFromMajorType(CComPtr<IEnumMediaTypes>& types,
                                                    const GUID& majorType) const {
  if (FAILED(types->Reset())) return GUID_NULL;
  AM_MEDIA_TYPE* type = nullptr;
  while (types->Next(1, &type, nullptr) == S_OK) {
    const GUID candidate = type && type->majortype == majorType ? type->subtype : GUID_NULL;
    DeleteMediaType(type);
    type = nullptr;
    if (candidate != GUID_NULL) return candidate;
  }
  return GUID_NULL;
}

// --- codec diagnosis ----------------------------------------------------------

std::string FileCaptureGraph::findMissingCodecName() {
  if (!source || !source->getInterface()) return unknownCodec;
  CComPtr<IFileSourceFilter> fileSource;
  if (FAILED(source->getInterface()->QueryInterface(IID_IFileSourceFilter,
                                                    reinterpret_cast<void**>(&fileSource))))
    return unknownCodec;
  LPOLESTR name = nullptr;
  AM_MEDIA_TYPE type = {};
  fileSource->GetCurFile(&name, &type);
  if (!name) {
    FreeMediaType(type);
    return unknownCodec;
  }
  CoTaskMemFree(name);
  FreeMediaType(type);
  if (type.majortype != MEDIATYPE_Stream) return unknownCodec;
  if (type.subtype == MEDIASUBTYPE_Avi) return findMissingAviCodecName();
  if (isMpeg2Stream(type.subtype)) return "MPEG-2";
  return unknownCodec;
}

std::string FileCaptureGraph::findMissingAviCodecName() {
  // Split the file without decoding it and read the video stream's
  // compression from the splitter's output.
  CComPtr<IBaseFilter> splitter;
  if (FAILED(CoCreateInstance(CLSID_AviSplitter, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                              reinterpret_cast<void**>(&splitter))))
    return unknownCodec;
  Filter wrapper(kAviSplitterName, splitter, CComPtr<IMoniker>(), CComPtr<IBindCtx>());
  if (FAILED(addToGraph(&wrapper))) return unknownCodec;
  CComPtr<ICaptureGraphBuilder2> builder = getGraphBuilder2();
  if (!builder ||
      FAILED(builder->RenderStream(nullptr, nullptr, source->getInterface(), nullptr, splitter)))
    return unknownCodec;
  GUID subtype = findSplitterVideoSubtype(builder, splitter);
  if (subtype == GUID_NULL) subtype = videoSubtypeFromFileHeader();
  if (subtype == GUID_NULL) return unknownCodec;
  return VideoSubtype(nullptr, subtype, 480).getName();
}

GUID FileCaptureGraph::findSplitterVideoSubtype(ICaptureGraphBuilder2* builder,
                                                IBaseFilter* splitter) {
  CComPtr<IPin> pin;
  if (SUCCEEDED(builder->FindPin(splitter, PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, FALSE, 0,
                                 &pin)))
    return videoSubtypeOfPin(pin);
  // Builders that match a pin's type only on connected pins find nothing
  // by type here: the splitter's outputs are then asked one by one.
  for (int index = 0; index < kMaxSplitterOutputs; ++index) {
    CComPtr<IPin> output;
    if (FAILED(builder->FindPin(splitter, PINDIR_OUTPUT, nullptr, nullptr, FALSE, index,
                                &output)))
      break;
    const GUID subtype = videoSubtypeOfPin(output);
    if (subtype != GUID_NULL) return subtype;
  }
  return GUID_NULL;
}

GUID FileCaptureGraph::videoSubtypeFromFileHeader() const {
  // Some splitters list no type on their outputs until they are connected;
  // the file's own header names the compression as well.
  const DWORD compression = readAviVideoCompression(fileName);
  if (compression == 0 || compression == BI_RGB || compression == BI_BITFIELDS) return GUID_NULL;
  GUID subtype = MEDIASUBTYPE_YUY2;  // the FOURCC form, with the code replaced
  subtype.Data1 = compression;
  return subtype;
}

GUID FileCaptureGraph::videoSubtypeOfPin(IPin* pin) {
  if (!pin) return GUID_NULL;
  CComPtr<IEnumMediaTypes> types;
  if (SUCCEEDED(pin->EnumMediaTypes(&types)) && types) {
    const GUID subtype = getMediaSubTypeFromMajorType(types, MEDIATYPE_Video);
    if (subtype != GUID_NULL) return subtype;
  }
  return videoSubtypeByConnecting(pin);
}

GUID FileCaptureGraph::videoSubtypeByConnecting(IPin* pin) {
  // A splitter that cannot list its output types still connects: a sample
  // grabber that takes any video reveals the type the stream carries.
  CComPtr<IGraphBuilder> graph = getGraphBuilder();
  CComPtr<IBaseFilter> probe;
  CComPtr<ISampleGrabber> grabber;
  if (!graph ||
      FAILED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                              reinterpret_cast<void**>(&probe))) ||
      FAILED(probe.QueryInterface(&grabber)))
    return GUID_NULL;
  CMediaType anyVideo(&MEDIATYPE_Video);
  if (FAILED(grabber->SetMediaType(&anyVideo)) ||
      FAILED(graph->AddFilter(probe, L"KIVO Codec Probe")))
    return GUID_NULL;
  GUID subtype = GUID_NULL;
  CComPtr<IEnumPins> pins;
  CComPtr<IPin> input;
  if (SUCCEEDED(probe->EnumPins(&pins)) && pins && pins->Next(1, &input, nullptr) == S_OK &&
      SUCCEEDED(graph->ConnectDirect(pin, input, nullptr))) {
    CMediaType connected;
    if (SUCCEEDED(pin->ConnectionMediaType(&connected)) &&
        connected.majortype == MEDIATYPE_Video)
      subtype = connected.subtype;
  }
  graph->RemoveFilter(probe);
  return subtype;
}

// --- position and duration ----------------------------------------------------

long long FileCaptureGraph::getDuration(const GUID& format) {
  TScopedTimeFormat<DurationUnsupportedException> scope(mediaSeeking, format);
  LONGLONG duration = 0;
  if (FAILED(mediaSeeking->GetDuration(&duration))) throw DurationUnsupportedException();
  return duration;
}

long long FileCaptureGraph::getPosition(const GUID& format) {
  TScopedTimeFormat<PositionUnsupportedException> scope(mediaSeeking, format);
  LONGLONG position = 0;
  if (FAILED(mediaSeeking->GetCurrentPosition(&position))) throw PositionUnsupportedException();
  return position;
}

void FileCaptureGraph::setPosition(long long position, const GUID& format) {
  TScopedTimeFormat<PositionUnsupportedException> scope(mediaSeeking, format);
  LONGLONG current = position;
  if (FAILED(mediaSeeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                                        AM_SEEKING_NoPositioning)))
    throw PositionUnsupportedException();
}

long long FileCaptureGraph::getDurationInFrames() { return getDuration(TIME_FORMAT_FRAME); }

long long FileCaptureGraph::getDurationInSamples() { return getDuration(TIME_FORMAT_SAMPLE); }

double FileCaptureGraph::getDurationInSeconds() {
  return util::referenceTimeToSeconds(getDuration(TIME_FORMAT_MEDIA_TIME));
}

long long FileCaptureGraph::getPositionInFrames() { return getPosition(TIME_FORMAT_FRAME); }

double FileCaptureGraph::getPositionInSeconds() {
  return util::referenceTimeToSeconds(getPosition(TIME_FORMAT_MEDIA_TIME));
}

void FileCaptureGraph::setPositionInFrames(long long frame) {
  setPosition(frame, TIME_FORMAT_FRAME);
}

void FileCaptureGraph::setPositionInSeconds(double seconds) {
  setPosition(util::secondsToReferenceTime(seconds), TIME_FORMAT_MEDIA_TIME);
}

bool FileCaptureGraph::isStreamFinished() {
  if (!isRunning()) return false;
  CComPtr<IGraphBuilder> graph = getGraphBuilder();
  if (!graph) return false;
  CComPtr<IMediaEvent> events;
  if (FAILED(graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events))))
    return false;
  long code = 0;
  const HRESULT hr = events->WaitForCompletion(1, &code);
  return hr == VFW_E_WRONG_STATE || (SUCCEEDED(hr) && code == EC_COMPLETE);
}

}  // namespace kivo
