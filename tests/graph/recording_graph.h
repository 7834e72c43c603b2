#pragma once

// A CaptureGraph whose hooks record their calls and answer what the test
// sets, with the protected operations opened up, plus fake filters and pins
// that form a small DirectShow topology.

#include <kivo/base_property.h>
#include <kivo/capture_graph.h>

#include "support/mocks/ibasefilter.h"
#include "support/mocks/ienumpins.h"
#include "support/mocks/ipin.h"

#include <deque>
#include <string>
#include <vector>

namespace kivo::test {

class RecordingGraph : public CaptureGraph {
 public:
  HRESULT initResult = S_OK, renderResult = S_OK, preStartResult = S_OK;
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
  HRESULT initMediaSection() override { return calls.push_back("init"), initResult; }
  void uninitMediaSection() override { calls.push_back("uninit"); }
  HRESULT renderMediaSection() override { return calls.push_back("render"), renderResult; }
  void unrenderMediaSection() override { calls.push_back("unrender"); }
  void resetMediaSection() override { calls.push_back("reset"); }
  HRESULT preStart(bool registerGraph) override {
    calls.push_back(registerGraph ? "preStart(true)" : "preStart(false)");
    return preStartResult;
  }
};

// A property that records its deletion by name.
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

// A pin with an owner, a direction and (maybe) a peer.
class FakePin : public ::testing::NiceMock<MockPin> {
 public:
  FakePin(IBaseFilter* owner, PIN_DIRECTION direction) {
    ON_CALL(*this, QueryDirection).WillByDefault(ReportDirection(direction));
    ON_CALL(*this, QueryPinInfo).WillByDefault(ReportPinInfo(owner, direction));
    ON_CALL(*this, ConnectedTo).WillByDefault([this](IPin** pin) -> HRESULT {
      *pin = peer;
      if (!peer) return VFW_E_NOT_CONNECTED;
      peer->AddRef();
      return S_OK;
    });
  }
  static void connect(FakePin& out, FakePin& in) {
    out.peer = &in;
    in.peer = &out;
  }
  FakePin* peer = nullptr;
};

// A filter with an ordered list of pins. EnumPins answers `enumStatus` (a
// success other than S_OK still hands out the enumerator).
class FakeFilter : public ::testing::NiceMock<MockBaseFilter> {
 public:
  FakeFilter() {
    ON_CALL(*this, EnumPins).WillByDefault([this](IEnumPins** out) -> HRESULT {
      *out = nullptr;
      if (FAILED(enumStatus)) return enumStatus;
      std::vector<IPin*> list;
      for (FakePin& pin : pins) list.push_back(&pin);
      enumerator.walk(list);
      enumerator.AddRef();
      *out = &enumerator;
      return enumStatus;
    });
  }
  FakePin& addPin(PIN_DIRECTION direction) { return pins.emplace_back(this, direction); }

  HRESULT enumStatus = S_OK;
  ::testing::NiceMock<MockEnumPins> enumerator;
  std::deque<FakePin> pins;
};

}  // namespace kivo::test
