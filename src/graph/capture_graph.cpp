#include <kivo/base_property.h>
#include <kivo/capture_graph.h>
#include <kivo/filter.h>
#include <kivo/rot_register.h>

#include "foundation/replaceable.h"
#include "foundation/text.h"

namespace kivo {

namespace {

// Stops the graph through its media control; the status of the query or of
// Stop.
HRESULT stopGraph(const CComPtr<IGraphBuilder>& graph) {
  CComPtr<IMediaControl> control;
  HRESULT hr = graph.QueryInterface(&control);
  if (FAILED(hr)) return hr;
  if (!control) return E_NOINTERFACE;
  return control->Stop();
}

// Stops every filter of the graph one by one. When a filter refuses to
// start, Wine's filter graph manager leaves the filters it had already
// paused running, and its Stop does not reach them; such a filter cannot be
// disconnected, and the graph's last release then never ends.
void stopEveryFilter(const CComPtr<IGraphBuilder>& graph) {
  CComPtr<IEnumFilters> filters;
  if (FAILED(graph->EnumFilters(&filters)) || !filters) return;
  for (;;) {
    CComPtr<IBaseFilter> filter;
    if (filters->Next(1, &filter, nullptr) != S_OK || !filter) break;
    filter->Stop();
  }
}

// Runs `work`; when it throws, runs `undo` before the exception goes on.
// Whatever `undo` throws itself is dropped: the first exception is the one
// the caller needs to hear.
template <class Work, class Undo>
auto undoingOnThrow(Work work, Undo undo) -> decltype(work()) {
  try {
    return work();
  } catch (...) {
    try {
      undo();
    } catch (...) {
    }
    throw;
  }
}

}  // namespace

CaptureGraph::CaptureGraph()
    : foundationBuilt(false), rendered(false), running(false), registration(nullptr) {}

CaptureGraph::~CaptureGraph() {
  delete registration;
  registration = nullptr;
  // The properties belong to the subclass's reset; here they are only
  // forgotten.
  properties.clear();
  graphBuilder.Release();
  captureGraphBuilder.Release();
}

HRESULT CaptureGraph::render(bool registerGraph) {
  if (rendered) return S_OK;
  HRESULT hr = createFoundation();
  if (FAILED(hr)) return hr;
  hr = undoingOnThrow([this] { return renderMediaSection(); }, [this] { unrender(); });
  if (FAILED(hr)) {
    unrender();
    return hr;
  }
  if (registerGraph) {
    delete registration;
    registration = new ROTRegister(graphBuilder);
    // An outside inspection tool is a convenience: a graph that cannot be
    // registered still renders.
    registration->addgraph();
  }
  rendered = true;
  return S_OK;
}

HRESULT CaptureGraph::preStart(bool) { return S_OK; }

void CaptureGraph::deconstruct() {
  if (running && graphBuilder && SUCCEEDED(stopGraph(graphBuilder))) running = false;
  if (rendered) unrender();
  // Nothing is left that could run (the rendered part is gone, or it never
  // was there), whatever Stop answered.
  running = false;
}

HRESULT CaptureGraph::createFoundation() {
  if (foundationBuilt) return S_OK;
  HRESULT hr = createGraphObjects();
  if (SUCCEEDED(hr))
    hr = undoingOnThrow([this] { return initMediaSection(); }, [this] { destroyFoundation(); });
  if (FAILED(hr)) {
    destroyFoundation();
    return hr;
  }
  foundationBuilt = true;
  return S_OK;
}

HRESULT CaptureGraph::createGraphObjects() {
  HRESULT hr = replaceable::createObject(CLSID_FilterGraph, IID_PPV_ARGS(&graphBuilder));
  if (SUCCEEDED(hr) && !graphBuilder) hr = E_NOINTERFACE;
  if (FAILED(hr)) return hr;
  hr = replaceable::createObject(CLSID_CaptureGraphBuilder2, IID_PPV_ARGS(&captureGraphBuilder));
  if (SUCCEEDED(hr) && !captureGraphBuilder) hr = E_NOINTERFACE;
  if (FAILED(hr)) return hr;
  return captureGraphBuilder->SetFiltergraph(graphBuilder);
}

void CaptureGraph::destroyFoundation() {
  auto releaseGraphObjects = [this] {
    foundationBuilt = false;
    graphBuilder.Release();
    captureGraphBuilder.Release();
  };
  undoingOnThrow([this] { uninitMediaSection(); }, releaseGraphObjects);
  releaseGraphObjects();
}

void CaptureGraph::unrender() {
  if (running && graphBuilder && SUCCEEDED(stopGraph(graphBuilder))) running = false;
  delete registration;
  registration = nullptr;
  undoingOnThrow([this] { unrenderMediaSection(); }, [this] { finishUnrender(); });
  finishUnrender();
}

void CaptureGraph::finishUnrender() {
  rendered = false;
  if (foundationBuilt) destroyFoundation();
  // A graph manager that refused to stop goes with its last reference; with
  // the graph objects released nothing is left that could run.
  running = false;
}

HRESULT CaptureGraph::start(bool registerGraph) {
  if (running) return S_OK;
  const HRESULT hr = undoingOnThrow([this, registerGraph] { return preStart(registerGraph); },
                                    [this] { deconstruct(); });
  if (FAILED(hr)) return hr;
  return startWithoutRendering();
}

HRESULT CaptureGraph::stop() {
  if (!running) return S_OK;
  const HRESULT hr = stopGraph(graphBuilder);
  if (FAILED(hr)) return hr;
  running = false;
  return S_OK;
}

void CaptureGraph::reset() {
  undoingOnThrow([this] { resetGraph(); }, [this] { resetMediaSection(); });
  resetMediaSection();
}

bool CaptureGraph::isRendered() const { return rendered; }

bool CaptureGraph::isRunning() const { return running; }

std::map<std::string, BaseProperty*> CaptureGraph::getPropertyContainer() const {
  return properties;
}

HRESULT CaptureGraph::startWithoutRendering() {
  if (!graphBuilder) return VFW_E_WRONG_STATE;
  CComPtr<IMediaControl> control;
  HRESULT hr = graphBuilder.QueryInterface(&control);
  if (FAILED(hr)) return hr;
  if (!control) return E_NOINTERFACE;
  hr = control->Run();
  // Some capture drivers refuse the first Run with E_NOINTERFACE and run
  // when asked again.
  if (hr == E_NOINTERFACE) hr = control->Run();
  if (FAILED(hr)) {
    control->Stop();
    stopEveryFilter(graphBuilder);
    return hr;
  }
  running = true;
  return S_OK;
}

void CaptureGraph::addDirectXProperty(BaseProperty* property) {
  if (!property) return;
  BaseProperty*& stored = properties[std::string(property->getName())];
  // The container owns what it holds: a property displaced under the same
  // name would otherwise never be deleted.
  if (stored != property) delete stored;
  stored = property;
}

HRESULT CaptureGraph::addToGraph(const Filter* filter) {
  if (!filter) return E_POINTER;
  if (!graphBuilder) return VFW_E_WRONG_STATE;
  // Filter names are UTF-8, as kivo reports device names.
  const std::wstring name = fromUtf8(filter->getName());
  return graphBuilder->AddFilter(filter->getInterface(), name.c_str());
}

HRESULT CaptureGraph::removeFromGraph(const Filter* filter) {
  if (!filter) return E_POINTER;
  if (!graphBuilder) return VFW_E_WRONG_STATE;
  return graphBuilder->RemoveFilter(filter->getInterface());
}

HRESULT CaptureGraph::getNextFilter(IBaseFilter* filter, PIN_DIRECTION direction, IPin** pin,
                                    IPin** connectedPin, IBaseFilter** nextFilter) const {
  if (!filter || !pin || !connectedPin || !nextFilter) return E_POINTER;
  *pin = nullptr;
  *connectedPin = nullptr;
  *nextFilter = nullptr;

  CComPtr<IEnumPins> pins;
  HRESULT hr = filter->EnumPins(&pins);
  if (FAILED(hr)) return hr;
  if (!pins) return E_FAIL;

  CComPtr<IPin> found;
  CComPtr<IPin> peer;
  while (!peer) {
    CComPtr<IPin> candidate;
    if (pins->Next(1, &candidate, nullptr) != S_OK || !candidate) return E_FAIL;
    PIN_DIRECTION candidateDirection;
    if (FAILED(candidate->QueryDirection(&candidateDirection))) return E_FAIL;
    if (candidateDirection != direction) continue;
    CComPtr<IPin> connected;
    if (FAILED(candidate->ConnectedTo(&connected))) continue;
    found = candidate;
    peer = connected;
  }

  PIN_INFO info = {};
  if (FAILED(peer->QueryPinInfo(&info)) || !info.pFilter) return E_UNEXPECTED;
  // The references go to the caller, the owner's with it.
  *nextFilter = info.pFilter;
  *connectedPin = peer.Detach();
  *pin = found.Detach();
  return S_OK;
}

void CaptureGraph::nukeDownstream(IBaseFilter* filter) {
  if (!filter || !graphBuilder) return;
  CComPtr<IEnumPins> pins;
  const HRESULT enumerated = filter->EnumPins(&pins);
  if (FAILED(enumerated) || !pins) return;
  pins->Reset();
  if (enumerated != S_OK) return;

  for (;;) {
    CComPtr<IPin> pin;
    if (pins->Next(1, &pin, nullptr) != S_OK || !pin) break;
    CComPtr<IPin> peer;
    HRESULT hr = pin->ConnectedTo(&peer);
    if (SUCCEEDED(hr) && !peer) hr = VFW_E_NOT_CONNECTED;
    if (SUCCEEDED(hr)) {
      PIN_INFO info = {};
      hr = peer->QueryPinInfo(&info);
      CComPtr<IBaseFilter> peerFilter;
      if (SUCCEEDED(hr)) peerFilter.Attach(info.pFilter);
      if (SUCCEEDED(hr) && info.dir == PINDIR_INPUT) {
        // Depth first: what the peer's filter feeds goes before it.
        nukeDownstream(peerFilter);
        graphBuilder->Disconnect(peer);
        graphBuilder->Disconnect(pin);
        if (peerFilter) graphBuilder->RemoveFilter(peerFilter);
      }
    }
    // An unconnected pin ends the walk over this filter's pins.
    if (FAILED(hr)) break;
  }
}

CComPtr<IGraphBuilder> CaptureGraph::getGraphBuilder() const { return graphBuilder; }

CComPtr<ICaptureGraphBuilder2> CaptureGraph::getGraphBuilder2() const {
  return captureGraphBuilder;
}

void CaptureGraph::resetGraph() {
  undoingOnThrow([this] { deconstruct(); }, [this] { resetProperties(); });
  resetProperties();
}

void CaptureGraph::resetProperties() {
  for (auto& entry : properties) delete entry.second;
  properties.clear();
}

}  // namespace kivo
