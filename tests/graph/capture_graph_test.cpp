// CaptureGraph's life cycle over recording hooks, and graph surgery over fake pins.

#include <kivo/base_property.h>
#include <kivo/capture_graph.h>

#include "support/fake_graph_objects.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/icapturegraphbuilder2.h"
#include "support/mocks/ienumfilters.h"
#include "support/mocks/ienumpins.h"
#include "support/mocks/igraphbuilder.h"
#include "support/mocks/imediacontrol.h"
#include "support/mocks/ipin.h"
#include "support/wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <tuple>
#include <vector>

namespace kivo::test {
namespace {

using namespace ::testing;
using Access = TestAccess<CaptureGraph>;
using Calls = std::vector<std::string>;

class RecordingGraph : public CaptureGraph {
 public:
  HRESULT initResult = S_OK, renderResult = S_OK, preStartResult = S_OK;
  std::vector<std::string> calls;

  using CaptureGraph::addDirectXProperty, CaptureGraph::deconstruct, CaptureGraph::getGraphBuilder,
      CaptureGraph::getGraphBuilder2, CaptureGraph::getNextFilter, CaptureGraph::nukeDownstream,
      CaptureGraph::startWithoutRendering;

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

class FakePin : public NiceMock<MockPin> {
 public:
  FakePin(IBaseFilter* owner, PIN_DIRECTION direction) {
    ON_CALL(*this, QueryDirection).WillByDefault(ReportDirection(direction));
    ON_CALL(*this, QueryPinInfo).WillByDefault(ReportPinInfo(owner, direction));
    ON_CALL(*this, ConnectedTo).WillByDefault([this](IPin** pin) -> HRESULT {
      if ((*pin = peer)) peer->AddRef();
      return peer ? S_OK : VFW_E_NOT_CONNECTED;
    });
  }
  static void connect(FakePin& out, FakePin& in) { out.peer = &in, in.peer = &out; }
  FakePin* peer = nullptr;
};

// A filter with ordered pins; EnumPins answers `enumStatus`, handing out the enumerator on success.
class FakeFilter : public NiceMock<MockBaseFilter> {
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
  NiceMock<MockEnumPins> enumerator;
  std::deque<FakePin> pins;
};

// Records its name in `deleted` when it goes.
struct CountedProperty : BaseProperty {
  CountedProperty(const char* name, Calls& deleted)
      : BaseProperty(name, nullptr), deleted(deleted) {}
  ~CountedProperty() override { deleted.push_back(getName()); }
  long getValue(void*) const override { return E_NOTIMPL; }
  long setValue(void*) override { return E_NOTIMPL; }
  BaseProperty* getDependentProperty() const override { return nullptr; }
  Calls& deleted;
};

// A graph over fake graph objects; the graph manager answers IMediaControl with `control`.
class CaptureGraphTest : public Test {
 protected:
  CaptureGraphTest() { graph.answer(IID_IMediaControl, control.self()); }

  // The graph is Empty and every reference it took is given back.
  void expectEmpty(RecordingGraph& g) {
    EXPECT_FALSE(g.isRendered());
    EXPECT_FALSE(Access::isFoundationBuilt(g));
    EXPECT_EQ(Access::registration(g), nullptr);
    EXPECT_EQ(g.getGraphBuilder(), nullptr);
    EXPECT_EQ(g.getGraphBuilder2(), nullptr);
    EXPECT_EQ(graph.refs(), 0);
    EXPECT_EQ(builder.refs(), 0);
    EXPECT_EQ(control.refs(), 0);
  }

  ComScope com;
  NiceMock<MockMediaControl> control;
  NiceMock<MockGraphBuilder> graph;
  NiceMock<MockCaptureGraphBuilder2> builder;
  FakeGraphObjects objects{&graph, &builder};
  std::vector<std::string> deleted;
  RecordingGraph g;
};

TEST_F(CaptureGraphTest, LifeCycleCallsTheHooksInOrderAndGivesEveryReferenceBack) {
  EXPECT_CALL(builder, SetFiltergraph(graph.self())).Times(2).WillRepeatedly(Return(S_OK));
  EXPECT_CALL(control, Run()).WillOnce(Return(S_OK));
  EXPECT_CALL(control, Stop()).WillOnce(Return(S_OK));
  ASSERT_EQ(g.render(true), S_OK);
  const ROTRegister* registration = Access::registration(g);
  ASSERT_NE(registration, nullptr);
  EXPECT_EQ(g.render(true), S_OK);  // changes nothing
  EXPECT_EQ(Access::registration(g), registration);
  ASSERT_EQ(g.start(false), S_OK);
  EXPECT_TRUE(g.isRunning());
  g.reset();
  EXPECT_FALSE(g.isRunning());
  expectEmpty(g);
  EXPECT_EQ(g.calls, (Calls{"init", "render", "preStart(false)", "unrender", "uninit", "reset"}));
  // Every render builds new graph objects.
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(objects.graphsCreated(), 2);
  g.reset();
}

// A failing foundation step is torn down with one uninit (failing creations: the fault tests); a
// hook's S_FALSE still builds.
TEST_F(CaptureGraphTest, FailedFoundationOrRenderHookLeavesTheGraphEmpty) {
  for (const auto& [init, setGraph, calls] :
       {std::tuple(E_OUTOFMEMORY, S_OK, Calls{"init", "uninit"}),
        std::tuple(S_OK, E_INVALIDARG, Calls{"uninit"})}) {
    RecordingGraph failing;
    failing.initResult = init;
    ON_CALL(builder, SetFiltergraph(_)).WillByDefault(Return(setGraph));
    EXPECT_EQ(failing.render(false), FAILED(init) ? init : setGraph);
    EXPECT_EQ(failing.calls, calls);
    expectEmpty(failing);
  }
  ON_CALL(builder, SetFiltergraph(_)).WillByDefault(Return(S_OK));
  g.initResult = S_FALSE;
  EXPECT_EQ(g.render(false), S_OK);
  g.reset();
  // A failing render hook leaves the graph Empty with both graph objects released.
  g.calls.clear();
  g.renderResult = VFW_E_CANNOT_CONNECT;
  EXPECT_EQ(g.render(true), VFW_E_CANNOT_CONNECT);
  EXPECT_EQ(g.calls, (Calls{"init", "render", "unrender", "uninit"}));
  expectEmpty(g);
}

// Run answering E_NOINTERFACE is asked once more; a refused Run is followed by
// Stop and a Stop of each filter, and the graph stays rendered.
TEST_F(CaptureGraphTest, RunIsRetriedOnceAndAFailedRunStopsEveryFilter) {
  NiceMock<MockBaseFilter> source, sink;
  ListEnumFilters filters({&source, &sink});
  ASSERT_EQ(g.render(true), S_OK);
  {
    InSequence order;
    EXPECT_CALL(control, Run()).WillOnce(Return(E_NOINTERFACE)).WillOnce(Return(E_FAIL));
    EXPECT_CALL(control, Stop()).WillOnce(Return(E_UNEXPECTED));
  }
  EXPECT_CALL(graph, EnumFilters(_)).WillRepeatedly(HandOut<0>(&filters));
  EXPECT_CALL(source, Stop()).WillOnce(Return(S_OK));
  EXPECT_CALL(sink, Stop()).WillOnce(Return(S_OK));
  EXPECT_EQ(g.start(true), E_FAIL);
  EXPECT_FALSE(g.isRunning());
  EXPECT_TRUE(g.isRendered());
  Mock::VerifyAndClearExpectations(&control);
  EXPECT_CALL(control, Run()).WillOnce(Return(E_NOINTERFACE)).WillOnce(Return(S_FALSE));
  EXPECT_EQ(g.start(false), S_OK);
  EXPECT_TRUE(g.isRunning());
  g.reset();
  expectEmpty(g);
}

TEST_F(CaptureGraphTest, StartAndStopAskOnlyWhatTheStateNeeds) {
  EXPECT_EQ(g.start(false), VFW_E_WRONG_STATE);  // never rendered
  EXPECT_EQ(g.startWithoutRendering(), VFW_E_WRONG_STATE);
  ASSERT_EQ(g.render(false), S_OK);
  g.preStartResult = E_ABORT;
  EXPECT_CALL(control, Run()).Times(0);
  EXPECT_EQ(g.start(false), E_ABORT);
  Mock::VerifyAndClearExpectations(&control);
  g.preStartResult = S_OK;
  ASSERT_EQ(g.start(false), S_OK);
  g.calls.clear();
  EXPECT_EQ(g.start(true), S_OK);  // already running: no preStart
  EXPECT_THAT(g.calls, IsEmpty());
  EXPECT_CALL(control, Stop()).WillOnce(Return(E_FAIL)).WillOnce(Return(S_OK));
  EXPECT_EQ(g.stop(), E_FAIL);
  EXPECT_TRUE(g.isRunning());
  EXPECT_EQ(g.stop(), S_OK);
  EXPECT_FALSE(g.isRunning());
  g.reset();
  graph.refuse(IID_IMediaControl, E_NOINTERFACE);
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(g.start(false), E_NOINTERFACE);
  g.reset();
  expectEmpty(g);
}

TEST_F(CaptureGraphTest, DeconstructStopsBeforeItUnrendersAndTheDestructorDoesNeither) {
  ASSERT_EQ(g.render(false), S_OK);
  ASSERT_EQ(g.start(false), S_OK);
  // Stop fails in deconstruct, succeeds in the unrender that follows.
  EXPECT_CALL(control, Stop()).WillOnce(Return(E_FAIL)).WillOnce(Return(S_OK));
  g.deconstruct();
  EXPECT_FALSE(g.isRunning());
  Mock::VerifyAndClearExpectations(&control);
  expectEmpty(g);

  // Both stops fail: the graph objects go all the same, and with them the
  // running state; the graph renders and runs again.
  ASSERT_EQ(g.render(false), S_OK);
  ASSERT_EQ(g.start(false), S_OK);
  EXPECT_CALL(control, Stop()).WillRepeatedly(Return(E_FAIL));
  g.reset();
  Mock::VerifyAndClearExpectations(&control);
  EXPECT_FALSE(g.isRunning());
  expectEmpty(g);
  EXPECT_EQ(g.stop(), S_OK);
  EXPECT_EQ(g.start(false), VFW_E_WRONG_STATE);
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(g.start(false), S_OK);
  g.reset();

  auto* other = new RecordingGraph;
  ASSERT_EQ(other->render(true), S_OK);
  ASSERT_EQ(other->start(false), S_OK);
  EXPECT_CALL(control, Stop()).Times(0);
  auto* property = new CountedProperty("Zoom", deleted);
  other->addDirectXProperty(property);
  delete other;
  EXPECT_THAT(deleted, IsEmpty());
  EXPECT_EQ(graph.refs(), 0);
  delete property;
}

// The container owns its properties: a second one under a name deletes the first.
TEST_F(CaptureGraphTest, PropertyContainerOwnsItsProperties) {
  auto* second = new CountedProperty("Gain", deleted);
  g.addDirectXProperty(new CountedProperty("Gain", deleted));
  g.addDirectXProperty(second);
  g.addDirectXProperty(second);
  g.addDirectXProperty(new CountedProperty("Brightness", deleted));
  g.addDirectXProperty(nullptr);
  EXPECT_EQ(deleted, Calls{"Gain"});
  EXPECT_EQ(g.getPropertyContainer().at("Gain"), second);
  ASSERT_EQ(g.render(false), S_OK);
  ASSERT_EQ(g.start(false), S_OK);
  Access::resetGraph(g);  // tears down first, leaves the media section alone
  EXPECT_EQ(deleted, (Calls{"Gain", "Brightness", "Gain"}));
  EXPECT_THAT(g.getPropertyContainer(), IsEmpty());
  EXPECT_EQ(g.calls, (Calls{"init", "render", "preStart(false)", "unrender", "uninit"}));
  expectEmpty(g);
  g.reset();
  EXPECT_EQ(deleted.size(), 3u);
}

// A rendered graph whose strict graph manager takes only the calls a test expects.
class GraphSurgeryTest : public Test {
 protected:
  void SetUp() override { ASSERT_EQ(g.render(false), S_OK); }
  void TearDown() override { g.reset(); }

  // getNextFilter's three outputs, checked and released.
  HRESULT next(FakeFilter& filter, PIN_DIRECTION direction, IPin* pin, IPin* connected,
               IBaseFilter* owner) {
    IPin *outPin = sentinel, *outConnected = sentinel;
    IBaseFilter* outOwner = reinterpret_cast<IBaseFilter*>(0x10);
    const HRESULT hr = g.getNextFilter(&filter, direction, &outPin, &outConnected, &outOwner);
    EXPECT_EQ(outPin, pin);
    EXPECT_EQ(outConnected, connected);
    EXPECT_EQ(outOwner, owner);
    EXPECT_EQ(pin ? pin->Release() : 0u, 0u);
    EXPECT_EQ(connected ? connected->Release() : 0u, 0u);
    EXPECT_EQ(owner ? owner->Release() : 0u, 0u);
    return hr;
  }

  IPin* const sentinel = reinterpret_cast<IPin*>(0x10);
  ComScope com;
  StrictMock<MockGraphBuilder> graph;
  NiceMock<MockCaptureGraphBuilder2> builder;
  FakeGraphObjects objects{&graph, &builder};
  RecordingGraph g;
};

TEST_F(GraphSurgeryTest, GetNextFilterFindsTheFirstConnectedPinOrFailsLeavingNoReference) {
  FakeFilter source, other, target;
  FakePin& in = source.addPin(PINDIR_INPUT);
  source.addPin(PINDIR_OUTPUT);  // idle
  FakePin& out = source.addPin(PINDIR_OUTPUT);
  FakePin& second = source.addPin(PINDIR_OUTPUT);
  FakePin& feeding = other.addPin(PINDIR_OUTPUT);
  FakePin& targetIn = target.addPin(PINDIR_INPUT);
  FakePin::connect(feeding, in);
  FakePin::connect(out, targetIn);
  FakePin::connect(second, other.addPin(PINDIR_INPUT));
  EXPECT_EQ(next(source, PINDIR_OUTPUT, &out, &targetIn, &target), S_OK);
  EXPECT_EQ(next(source, PINDIR_INPUT, &in, &feeding, &other), S_OK);

  IPin *pin = sentinel, *connected = sentinel;
  IBaseFilter* owner = nullptr;
  EXPECT_CALL(source, EnumPins).Times(0);
  EXPECT_EQ(g.getNextFilter(&source, PINDIR_OUTPUT, &pin, &connected, nullptr), E_POINTER);
  EXPECT_EQ(g.getNextFilter(nullptr, PINDIR_OUTPUT, &pin, &connected, &owner), E_POINTER);
  EXPECT_EQ(pin, sentinel);
  // Failures leave no reference.
  FakeFilter filter, peer;
  filter.addPin(PINDIR_OUTPUT);
  FakePin& filterIn = filter.addPin(PINDIR_INPUT);
  FakePin& peerOut = peer.addPin(PINDIR_OUTPUT);
  FakePin::connect(peerOut, filterIn);
  EXPECT_EQ(next(filter, PINDIR_OUTPUT, nullptr, nullptr, nullptr), E_FAIL);
  // The peer tells no information, or no owner: unexpected.
  ON_CALL(peerOut, QueryPinInfo).WillByDefault(Return(E_FAIL));
  EXPECT_EQ(next(filter, PINDIR_INPUT, nullptr, nullptr, nullptr), E_UNEXPECTED);
  ON_CALL(peerOut, QueryPinInfo).WillByDefault(ReportPinInfo(nullptr, PINDIR_OUTPUT));
  EXPECT_EQ(next(filter, PINDIR_INPUT, nullptr, nullptr, nullptr), E_UNEXPECTED);
  // A failing direction query ends the search; an enumeration failure passes through.
  ON_CALL(filterIn, QueryDirection).WillByDefault(Return(E_UNEXPECTED));
  EXPECT_EQ(next(filter, PINDIR_INPUT, nullptr, nullptr, nullptr), E_FAIL);
  filter.enumStatus = E_OUTOFMEMORY;
  EXPECT_EQ(next(filter, PINDIR_INPUT, nullptr, nullptr, nullptr), E_OUTOFMEMORY);
}

// source -> a -> b, and a -> c on a second output of a: removed depth first.
TEST_F(GraphSurgeryTest, NukeDownstreamRemovesDepthFirstInOrder) {
  FakeFilter source, a, b, c;
  FakePin& sourceOut = source.addPin(PINDIR_OUTPUT);
  FakePin& aIn = a.addPin(PINDIR_INPUT);
  FakePin& aOut = a.addPin(PINDIR_OUTPUT);
  FakePin& aPreview = a.addPin(PINDIR_OUTPUT);
  FakePin& bIn = b.addPin(PINDIR_INPUT);
  FakePin& cIn = c.addPin(PINDIR_INPUT);
  FakePin::connect(sourceOut, aIn);
  FakePin::connect(aOut, bIn);
  FakePin::connect(aPreview, cIn);
  EXPECT_CALL(source.enumerator, Reset).Times(1);
  InSequence order;
  for (IPin* pin : std::initializer_list<IPin*>{&bIn, &aOut}) EXPECT_CALL(graph, Disconnect(pin));
  EXPECT_CALL(graph, RemoveFilter(&b));
  for (IPin* pin : std::initializer_list<IPin*>{&cIn, &aPreview})
    EXPECT_CALL(graph, Disconnect(pin));
  EXPECT_CALL(graph, RemoveFilter(&c));
  for (IPin* pin : std::initializer_list<IPin*>{&aIn, &sourceOut})
    EXPECT_CALL(graph, Disconnect(pin));
  EXPECT_CALL(graph, RemoveFilter(&a));
  g.nukeDownstream(&source);
}

// The walk skips input pins and ends at the first unconnected pin, at a peer
// without information, or at an enumeration answering S_FALSE.
TEST_F(GraphSurgeryTest, NukeDownstreamStopsAtTheFirstUnconnectedPin) {
  FakeFilter upstream, middle, down, never, odd, oddSink;
  FakePin& middleIn = middle.addPin(PINDIR_INPUT);
  FakePin::connect(upstream.addPin(PINDIR_OUTPUT), middleIn);
  FakePin& middleOut = middle.addPin(PINDIR_OUTPUT);
  middle.addPin(PINDIR_OUTPUT);  // unconnected
  FakePin& downIn = down.addPin(PINDIR_INPUT);
  FakePin::connect(middleOut, downIn);
  FakePin::connect(middle.addPin(PINDIR_OUTPUT), never.addPin(PINDIR_INPUT));
  FakePin& oddIn = oddSink.addPin(PINDIR_INPUT);
  FakePin::connect(odd.addPin(PINDIR_OUTPUT), oddIn);
  {
    InSequence order;
    EXPECT_CALL(graph, Disconnect(&downIn));
    EXPECT_CALL(graph, Disconnect(&middleOut));
    EXPECT_CALL(graph, RemoveFilter(&down));
  }
  g.nukeDownstream(&middle);
  g.nukeDownstream(nullptr);
  ON_CALL(oddIn, QueryPinInfo).WillByDefault(Return(E_FAIL));
  g.nukeDownstream(&odd);
  odd.enumStatus = S_FALSE;
  EXPECT_CALL(odd.enumerator, Reset).Times(1);
  g.nukeDownstream(&odd);
}

}  // namespace
}  // namespace kivo::test
