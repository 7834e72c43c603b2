#include <kivo/capture_graph.h>
#include <kivo/filter.h>

#include "graph/recording_graph.h"
#include "support/fake_graph_objects.h"
#include "support/mocks/icapturegraphbuilder2.h"
#include "support/mocks/ienumfilters.h"
#include "support/mocks/igraphbuilder.h"
#include "support/mocks/imediacontrol.h"
#include "support/wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kivo::test {
namespace {

using namespace ::testing;
using Access = TestAccess<CaptureGraph>;
using Calls = std::vector<std::string>;

// A graph over fake graph objects; the filter graph manager answers
// IMediaControl with `control`.
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
  EXPECT_EQ(g.getGraphBuilder(), graph.self());
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
  EXPECT_EQ(objects.buildersCreated(), 2);
  g.reset();
}

// A failing step of the foundation is torn down with one uninit; a success
// other than S_OK from the hook still builds.
TEST_F(CaptureGraphTest, FailedFoundationIsTornDownWithOneUninit) {
  const struct {
    HRESULT init, setGraph, builder, graph;
    Calls calls;
  } cases[] = {
      {E_OUTOFMEMORY, S_OK, S_OK, S_OK, {"init", "uninit"}},
      {S_OK, E_INVALIDARG, S_OK, S_OK, {"uninit"}},
      {S_OK, S_OK, REGDB_E_CLASSNOTREG, S_OK, {"uninit"}},
      {S_OK, S_OK, S_OK, E_ACCESSDENIED, {"uninit"}},
  };
  for (const auto& c : cases) {
    RecordingGraph failing;
    failing.initResult = c.init;
    ON_CALL(builder, SetFiltergraph(_)).WillByDefault(Return(c.setGraph));
    objects.failBuilder(c.builder);
    objects.failGraph(c.graph);
    const HRESULT expected = FAILED(c.init) ? c.init : FAILED(c.setGraph) ? c.setGraph
                             : FAILED(c.graph) ? c.graph : c.builder;
    EXPECT_EQ(failing.render(false), expected);
    EXPECT_EQ(failing.calls, c.calls);
    expectEmpty(failing);
  }
  objects.failBuilder(S_OK);
  objects.failGraph(S_OK);
  ON_CALL(builder, SetFiltergraph(_)).WillByDefault(Return(S_OK));
  g.initResult = S_FALSE;
  EXPECT_EQ(g.render(false), S_OK);
  g.reset();
}

TEST_F(CaptureGraphTest, FailedRenderHookLeavesTheGraphEmpty) {
  g.renderResult = VFW_E_CANNOT_CONNECT;
  EXPECT_EQ(g.render(true), VFW_E_CANNOT_CONNECT);
  EXPECT_EQ(g.calls, (Calls{"init", "render", "unrender", "uninit"}));
  expectEmpty(g);
}

TEST_F(CaptureGraphTest, RunIsAskedTwiceWhenItFirstAnswersNoInterface) {
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_CALL(control, Run()).WillOnce(Return(E_NOINTERFACE)).WillOnce(Return(S_FALSE));
  EXPECT_CALL(control, Stop()).Times(0);
  EXPECT_EQ(g.start(false), S_OK);
  EXPECT_TRUE(g.isRunning());
  Mock::VerifyAndClearExpectations(&control);
  g.reset();
}

// A refused Run is followed by Stop, and each filter already started is
// stopped so the graph can be torn down; the graph stays rendered.
TEST_F(CaptureGraphTest, FailedRunStopsEveryFilter) {
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
  g.reset();
  expectEmpty(g);
}

TEST_F(CaptureGraphTest, StartAndStopAskOnlyWhatTheStateNeeds) {
  EXPECT_EQ(g.stop(), S_OK);
  EXPECT_EQ(g.start(false), VFW_E_WRONG_STATE);  // never rendered
  EXPECT_EQ(g.startWithoutRendering(), VFW_E_WRONG_STATE);
  EXPECT_EQ(objects.graphsCreated(), 0);
  ASSERT_EQ(g.render(false), S_OK);
  // A stop on a graph that is not running asks nothing.
  const long queries = graph.queries();
  EXPECT_CALL(control, Stop()).Times(0);
  EXPECT_EQ(g.stop(), S_OK);
  EXPECT_EQ(graph.queries(), queries);
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
  Mock::VerifyAndClearExpectations(&control);
  g.reset();
  graph.refuse(IID_IMediaControl, E_NOINTERFACE);
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(g.start(false), E_NOINTERFACE);
  g.reset();
  expectEmpty(g);
}

// A stop that fails during teardown leaves the running flag without graph
// objects: stop then fails without effect and the next reset clears it.
TEST_F(CaptureGraphTest, StaleRunningFlagAfterAFailedTeardownIsSafe) {
  ASSERT_EQ(g.render(true), S_OK);
  ASSERT_EQ(g.start(false), S_OK);
  EXPECT_CALL(control, Stop()).Times(2).WillRepeatedly(Return(E_FAIL));
  g.reset();
  Mock::VerifyAndClearExpectations(&control);
  EXPECT_TRUE(g.isRunning());
  expectEmpty(g);
  EXPECT_CALL(control, Stop()).Times(0);
  EXPECT_EQ(g.stop(), VFW_E_WRONG_STATE);
  g.calls.clear();
  EXPECT_EQ(g.start(false), S_OK);
  g.reset();
  EXPECT_FALSE(g.isRunning());
  EXPECT_EQ(g.calls, Calls{"reset"});
  EXPECT_CALL(control, Run()).WillOnce(Return(S_OK));
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(g.start(false), S_OK);
  Mock::VerifyAndClearExpectations(&control);
  g.reset();
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

TEST_F(CaptureGraphTest, FiltersAreAddedUnderTheirUtf8NameAndRemoved) {
  Filter filter("Cam\xc3\xa9ra \xe6\xb8\xac\xe8\xa9\xa6", CComPtr<IBaseFilter>(), nullptr, nullptr);
  EXPECT_EQ(g.addToGraph(&filter), VFW_E_WRONG_STATE);
  EXPECT_EQ(g.removeFromGraph(&filter), VFW_E_WRONG_STATE);
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(g.addToGraph(nullptr), E_POINTER);
  EXPECT_CALL(graph, AddFilter(nullptr, StrEq(L"Cam\u00e9ra \u6e2c\u8a66")))
      .WillOnce(Return(VFW_S_DUPLICATE_NAME));
  EXPECT_CALL(graph, RemoveFilter(nullptr)).WillOnce(Return(VFW_E_NOT_FOUND));
  EXPECT_EQ(g.addToGraph(&filter), VFW_S_DUPLICATE_NAME);
  EXPECT_EQ(g.removeFromGraph(&filter), VFW_E_NOT_FOUND);
  g.reset();
}

// The container owns its properties: a second one under a name deletes the
// first, reset deletes each once, and copies handed out change nothing.
TEST_F(CaptureGraphTest, PropertyContainerOwnsItsProperties) {
  auto* second = new CountedProperty("Gain", deleted);
  g.addDirectXProperty(new CountedProperty("Gain", deleted));
  g.addDirectXProperty(second);
  g.addDirectXProperty(second);
  g.addDirectXProperty(new CountedProperty("Brightness", deleted));
  g.addDirectXProperty(nullptr);
  EXPECT_EQ(deleted, Calls{"Gain"});
  auto copy = g.getPropertyContainer();
  EXPECT_EQ(copy.size(), 2u);
  EXPECT_EQ(copy["Gain"], second);
  copy.erase("Gain");
  EXPECT_EQ(g.getPropertyContainer().size(), 2u);
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

}  // namespace
}  // namespace kivo::test
