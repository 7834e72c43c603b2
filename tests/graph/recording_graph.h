#pragma once

// A CaptureGraph whose hooks record their calls and answer what the test
// sets, with the protected operations opened up for tests, plus fake
// filters and pins that form a small DirectShow topology.

#include <kivo/base_property.h>
#include <kivo/capture_graph.h>

#include "support/com_fake.h"

#include <memory>
#include <string>
#include <vector>

namespace kivo::test {

class RecordingGraph : public CaptureGraph {
 public:
  HRESULT initResult = S_OK;
  HRESULT renderResult = S_OK;
  HRESULT preStartResult = S_OK;
  std::vector<std::string> calls;

  using CaptureGraph::addDirectXProperty;
  using CaptureGraph::addToGraph;
  using CaptureGraph::deconstruct;
  using CaptureGraph::getGraphBuilder;
  using CaptureGraph::getGraphBuilder2;
  using CaptureGraph::getNextFilter;
  using CaptureGraph::nukeDownstream;
  using CaptureGraph::removeFromGraph;
  using CaptureGraph::startWithoutRendering;

 protected:
  HRESULT initMediaSection() override {
    calls.push_back("init");
    return initResult;
  }
  void uninitMediaSection() override { calls.push_back("uninit"); }
  HRESULT renderMediaSection() override {
    calls.push_back("render");
    return renderResult;
  }
  void unrenderMediaSection() override { calls.push_back("unrender"); }
  void resetMediaSection() override { calls.push_back("reset"); }
  HRESULT preStart(bool registerGraph) override {
    calls.push_back(registerGraph ? "preStart(true)" : "preStart(false)");
    return preStartResult;
  }
};

// A property that counts how often it is deleted, by name.
class CountedProperty : public BaseProperty {
 public:
  CountedProperty(const char* name, std::vector<std::string>& deleted)
      : BaseProperty(name, CComPtr<IBaseFilter>()), deleted_(deleted) {}
  ~CountedProperty() override { deleted_.push_back(getName()); }
  long getValue(void*) const override { return E_NOTIMPL; }
  long setValue(void*) override { return E_NOTIMPL; }
  BaseProperty* getDependentProperty() const override { return nullptr; }

 private:
  std::vector<std::string>& deleted_;
};

class FakeFilter;

// A pin with a direction, an owner and (maybe) a peer.
class FakePin : public ComFake<IPin> {
 public:
  FakePin(FakeFilter* owner, PIN_DIRECTION direction, const wchar_t* name)
      : owner_(owner), direction_(direction), name_(name) {}

  // Connects an output pin to an input pin, both ways.
  static void connect(FakePin& out, FakePin& in) {
    out.peer_ = &in;
    in.peer_ = &out;
  }
  // The pin tells no owning filter / fails its direction query.
  void withoutOwner() { owner_ = nullptr; }
  void failInfo(HRESULT status) { infoStatus_ = status; }
  void failDirection(HRESULT status) { directionStatus_ = status; }
  const std::wstring& name() const { return name_; }

  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override {
    if (FAILED(directionStatus_)) return directionStatus_;
    *direction = direction_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Disconnect() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
    return E_NOTIMPL;
  }

 private:
  FakeFilter* owner_;
  PIN_DIRECTION direction_;
  std::wstring name_;
  FakePin* peer_ = nullptr;
  HRESULT infoStatus_ = S_OK;
  HRESULT directionStatus_ = S_OK;
};

// Enumerates a filter's pins in order.
class FakeEnumPins : public ComFake<IEnumPins> {
 public:
  explicit FakeEnumPins(std::vector<FakePin*>& pins) : pins_(pins) {}
  int resets = 0;
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (count != 1) return E_INVALIDARG;
    if (fetched) *fetched = 0;
    if (position_ >= pins_.size()) return S_FALSE;
    pins[0] = pins_[position_++];
    pins[0]->AddRef();
    if (fetched) *fetched = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override {
    ++resets;
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins**) override { return E_NOTIMPL; }
  void rewind() { position_ = 0; }

 private:
  std::vector<FakePin*>& pins_;
  size_t position_ = 0;
};

// A filter with an ordered list of pins. EnumPins answers with
// `enumStatus` (a success other than S_OK still hands out the enumerator).
class FakeFilter : public ComFake<IBaseFilter> {
 public:
  explicit FakeFilter(const char* label) : label(label), enumerator_(pins_) {}
  std::string label;
  HRESULT enumStatus = S_OK;
  int enumerations = 0;

  FakePin& addPin(PIN_DIRECTION direction, const wchar_t* name) {
    owned_.push_back(std::make_unique<FakePin>(this, direction, name));
    pins_.push_back(owned_.back().get());
    return *owned_.back();
  }
  FakeEnumPins& enumerator() { return enumerator_; }

  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override {
    ++enumerations;
    *pins = nullptr;
    if (FAILED(enumStatus)) return enumStatus;
    enumerator_.rewind();
    enumerator_.AddRef();
    *pins = &enumerator_;
    return enumStatus;
  }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

 private:
  // Pins die after the enumerator that refers to them.
  std::vector<std::unique_ptr<FakePin>> owned_;
  std::vector<FakePin*> pins_;
  FakeEnumPins enumerator_;
};

inline HRESULT STDMETHODCALLTYPE FakePin::ConnectedTo(IPin** pin) {
  *pin = nullptr;
  if (!peer_) return VFW_E_NOT_CONNECTED;
  peer_->AddRef();
  *pin = peer_;
  return S_OK;
}

inline HRESULT STDMETHODCALLTYPE FakePin::QueryPinInfo(PIN_INFO* info) {
  if (FAILED(infoStatus_)) return infoStatus_;
  info->pFilter = owner_;
  if (owner_) owner_->AddRef();
  info->dir = direction_;
  lstrcpynW(info->achName, name_.c_str(), MAX_PIN_NAME);
  return S_OK;
}

}  // namespace kivo::test
