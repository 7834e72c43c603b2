#include "capture/input_router.h"

#include <kivo/comptr.h>

#include <new>

namespace kivo {

namespace {

// Crossbar chains are short (a tuner crossbar in front of the main one); a
// much longer one can only come from a broken graph.
constexpr int kMaxDepth = 16;

const char* connectorName(long physicalType) {
  switch (physicalType) {
    case PhysConn_Video_Tuner:
      return "tuner";
    case PhysConn_Video_Composite:
      return "composite";
    case PhysConn_Video_SVideo:
      return "svideo";
    case PhysConn_Video_RGB:
      return "rgb";
    case PhysConn_Video_YRYBY:
      return "yryby";
    case PhysConn_Video_SerialDigital:
      return "serialDigital";
    case PhysConn_Video_ParallelDigital:
      return "parallelDigital";
    case PhysConn_Video_SCSI:
      return "scsi";
    case PhysConn_Video_AUX:
      return "aux";
    case PhysConn_Video_1394:
      return "1394";
    case PhysConn_Video_USB:
      return "usb";
    case PhysConn_Video_VideoDecoder:
      return "decoder";
    case PhysConn_Video_VideoEncoder:
      return "encoder";
    case PhysConn_Video_SCART:
      return "scart";
    case PhysConn_Audio_Tuner:
      return "tuner";
    case PhysConn_Audio_Line:
      return "line";
    case PhysConn_Audio_Mic:
      return "mic";
    case PhysConn_Audio_AESDigital:
      return "AESDigital";
    case PhysConn_Audio_SPDIFDigital:
      return "SPDIFDigital";
    case PhysConn_Audio_SCSI:
      return "scsi";
    case PhysConn_Audio_AUX:
      return "aux";
    case PhysConn_Audio_1394:
      return "1394";
    case PhysConn_Audio_USB:
      return "usb";
    case PhysConn_Audio_AudioDecoder:
      return "decoder";
    default:
      return "Unknown";
  }
}

// Walks the crossbar's pins in enumeration order (inputs first, then
// outputs), calling visit(position, pin) until it returns true. Returns the
// crossbar's input count, or -1 when the pins cannot be walked.
template <class Visit>
long walkCrossbarPins(IAMCrossbar* crossbar, Visit visit) {
  long outputCount = 0;
  long inputCount = 0;
  if (FAILED(crossbar->get_PinCounts(&outputCount, &inputCount))) return -1;
  CComPtr<IAMCrossbar> held(crossbar);
  CComPtr<IBaseFilter> filter;
  if (held.QueryInterface(&filter) != S_OK || !filter) return -1;
  CComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins)) || !pins) return -1;
  for (long position = 0;; ++position) {
    CComPtr<IPin> pin;
    ULONG fetched = 0;
    if (pins->Next(1, &pin, &fetched) != S_OK || !pin) break;
    if (visit(position, pin)) break;
  }
  return inputCount;
}

// The output index of one of the crossbar's pins; false when the pin is not
// one of its outputs.
bool findOutputIndex(IAMCrossbar* crossbar, IPin* pin, long* index) {
  long position = -1;
  const long inputCount = walkCrossbarPins(crossbar, [&](long at, const CComPtr<IPin>& candidate) {
    if (candidate != pin && !candidate.IsEqualObject(pin)) return false;
    position = at;
    return true;
  });
  if (inputCount < 0 || position < inputCount) return false;
  *index = position - inputCount;
  return true;
}

// The crossbar's input pin at an input index; null when there is none.
CComPtr<IPin> findInputPin(IAMCrossbar* crossbar, long index) {
  CComPtr<IPin> found;
  const long inputCount = walkCrossbarPins(crossbar, [&](long at, const CComPtr<IPin>& candidate) {
    if (at != index) return false;
    found = candidate;
    return true;
  });
  if (index < 0 || index >= inputCount) found.Release();
  return found;
}

}  // namespace

CRouting::CRouting()
    : upstream(nullptr),
      downstream(nullptr),
      videoInputIndex(0),
      videoOutputIndex(0),
      relatedInputIndex(0),
      relatedOutputIndex(0),
      inputPhysicalType(0),
      outputPhysicalType(0),
      depth(0) {}

CRouting::~CRouting() = default;

CInputRouter::CInputRouter(IPin* pin, HRESULT* status) : startingPin(pin), currentPath(0) {
  paths.reset(new (std::nothrow) std::vector<Path>());
  const HRESULT outcome = paths ? collectPaths(startingPin, &root, 0) : E_OUTOFMEMORY;
  // The pin was needed only to find the paths; no reference was taken.
  startingPin = nullptr;
  root.upstream = nullptr;
  root.crossbar = nullptr;
  if (status) *status = outcome;
}

CInputRouter::~CInputRouter() = default;

long CInputRouter::recordCount(const Path& path) { return path ? path[0].depth + 1 : 0; }

HRESULT CInputRouter::collectPaths(IPin* pin, CRouting* routing, int depth) {
  if (!pin || !routing) return E_POINTER;
  if (depth > kMaxDepth) return E_FAIL;
  // S_FALSE tells the caller that the chain of crossbars ends here.
  const HRESULT noCrossbar = depth > 0 ? S_FALSE : E_FAIL;

  CComPtr<IPin> upstreamPin;
  if (pin->ConnectedTo(&upstreamPin) != S_OK || !upstreamPin) return noCrossbar;

  PIN_INFO info = {};
  const HRESULT infoStatus = upstreamPin->QueryPinInfo(&info);
  CComPtr<IBaseFilter> filter;
  if (SUCCEEDED(infoStatus)) filter.Attach(info.pFilter);
  if (infoStatus != S_OK) return S_OK;

  CComPtr<IAMCrossbar> crossbar;
  if (!filter || filter.QueryInterface(&crossbar) != S_OK || !crossbar) return noCrossbar;
  // A crossbar already on the way down means the graph loops: no path
  // leads through it.
  for (const CRouting* hop = routing->downstream; hop; hop = hop->downstream)
    if (hop->crossbar == crossbar) return E_FAIL;

  long outputCount = 0;
  long inputCount = 0;
  crossbar->get_PinCounts(&outputCount, &inputCount);

  long outputIndex = 0;
  if (!findOutputIndex(crossbar, upstreamPin, &outputIndex)) return S_OK;
  long relatedOutput = -1;
  long outputType = 0;
  crossbar->get_CrossbarPinInfo(FALSE, outputIndex, &relatedOutput, &outputType);

  for (long inputIndex = 0; inputIndex < inputCount; ++inputIndex) {
    long relatedInput = -1;
    long inputType = 0;
    crossbar->get_CrossbarPinInfo(TRUE, inputIndex, &relatedInput, &inputType);
    if (inputType >= PhysConn_Audio_Tuner) continue;  // audio connectors are not routed here
    if (crossbar->CanRoute(outputIndex, inputIndex) != S_OK) continue;

    CComPtr<IPin> inputPin = findInputPin(crossbar, inputIndex);
    CRouting next;
    routing->upstream = &next;
    next.downstream = routing;
    routing->crossbar = crossbar;
    routing->videoInputIndex = inputIndex;
    routing->videoOutputIndex = outputIndex;
    routing->relatedInputIndex = relatedInput;
    routing->relatedOutputIndex = relatedOutput;
    routing->inputPhysicalType = inputType;
    routing->outputPhysicalType = outputType;
    routing->depth = depth;
    if (collectPaths(inputPin, &next, depth + 1) == S_FALSE) {
      // Nothing feeds this input but its physical connector: a path ends.
      routing->upstream = nullptr;
      storePath(routing);
    }
    routing->upstream = nullptr;
  }
  return S_OK;
}

HRESULT CInputRouter::storePath(CRouting* last) {
  if (!paths) return E_POINTER;
  if (!last || last->depth < 0) return E_FAIL;
  const long count = last->depth + 1;
  Path path(new (std::nothrow) CRouting[static_cast<size_t>(count)]);
  if (!path) return E_FAIL;
  const CRouting* hop = last;
  for (long i = 0; i < count; ++i, hop = hop->downstream) {
    if (!hop) return E_FAIL;  // a chain shorter than its depth says: never stored
    path[i] = *hop;
  }
  for (long i = 0; i < count; ++i) {
    path[i].upstream = i > 0 ? &path[i - 1] : nullptr;
    path[i].downstream = i + 1 < count ? &path[i + 1] : nullptr;
  }
  try {
    paths->push_back(std::move(path));
  } catch (const std::bad_alloc&) {
    return E_FAIL;
  }
  return S_OK;
}

HRESULT CInputRouter::getPathCount(long* count) const {
  if (!count || !paths) return E_POINTER;
  *count = static_cast<long>(paths->size());
  return S_OK;
}

HRESULT CInputRouter::getPathName(long index, char* buffer, long size) const {
  if (!paths) return E_POINTER;
  if (index < 0 || index >= static_cast<long>(paths->size()) || !buffer || size <= 0) return E_FAIL;
  const char* name = connectorName((*paths)[static_cast<size_t>(index)][0].inputPhysicalType);
  return lstrcpynA(buffer, name, static_cast<int>(size)) ? S_OK : E_FAIL;
}

HRESULT CInputRouter::routePath(long index) {
  if (!paths) return E_POINTER;
  if (index < 0 || index >= static_cast<long>(paths->size())) return E_FAIL;
  const Path& path = (*paths)[static_cast<size_t>(index)];
  HRESULT result = E_FAIL;
  const long count = recordCount(path);
  for (long i = 0; i < count; ++i) {
    const CRouting& hop = path[i];
    if (!hop.crossbar) {
      result = E_FAIL;
      continue;
    }
    result = hop.crossbar->Route(hop.videoOutputIndex, hop.videoInputIndex);
    // The audio that belongs with the video follows it; its status is not
    // what the caller asked for.
    if (hop.relatedOutputIndex != -1 && hop.relatedInputIndex != -1)
      hop.crossbar->Route(hop.relatedOutputIndex, hop.relatedInputIndex);
  }
  currentPath = static_cast<int>(index);
  return result;
}

HRESULT CInputRouter::getCurrentPath(long* index) const {
  if (!index) return E_POINTER;
  *index = currentPath;
  return S_OK;
}

}  // namespace kivo
