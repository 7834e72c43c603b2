#include <kivo/capture_graph.h>
#include <kivo/filter.h>
#include <kivo/platform.h>

#include "graph/recording_graph.h"
#include "support/fake_graph_objects.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/icapturegraphbuilder2.h"
#include "support/mocks/ienumfilters.h"
#include "support/mocks/igraphbuilder.h"
#include "support/mocks/imediacontrol.h"
#include "support/wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kivo::test {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::InSequence;
using ::testing::IsEmpty;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::StrEq;
using ::testing::StrictMock;

using Access = TestAccess<CaptureGraph>;

// A graph over fake graph objects: the filter graph manager answers
// IMediaControl with `control`.
class CaptureGraphTest : public ::testing::Test {
 protected:
  CaptureGraphTest() { graph.answer(IID_IMediaControl, control.self()); }

  // Every reference the graph took is given back once it is gone.
  void expectNoReferences() {
    EXPECT_EQ(graph.refs(), 0);
    EXPECT_EQ(builder.refs(), 0);
    EXPECT_EQ(control.refs(), 0);
  }

  ComScope com;
  NiceMock<MockMediaControl> control;
  NiceMock<MockGraphBuilder> graph;
  NiceMock<MockCaptureGraphBuilder2> builder;
  FakeGraphObjects objects{&graph, &builder};
};

TEST_F(CaptureGraphTest, LifeCycleCallsTheHooksInOrderAndGivesEveryReferenceBack) {
  EXPECT_CALL(builder, SetFiltergraph(graph.self())).WillOnce(Return(S_OK));
  EXPECT_CALL(control, Run()).WillOnce(Return(S_OK));
  EXPECT_CALL(control, Stop()).WillOnce(Return(S_OK));
  {
    RecordingGraph g;
    EXPECT_FALSE(g.isRendered());
    EXPECT_FALSE(g.isRunning());
    EXPECT_EQ(g.getGraphBuilder(), nullptr);

    ASSERT_EQ(g.render(false), S_OK);
    EXPECT_TRUE(g.isRendered());
    EXPECT_TRUE(Access::isFoundationBuilt(g));
    EXPECT_EQ(g.getGraphBuilder(), graph.self());
    EXPECT_EQ(g.getGraphBuilder2(), builder.self());
    EXPECT_EQ(Access::registration(g), nullptr);

    ASSERT_EQ(g.start(false), S_OK);
    EXPECT_TRUE(g.isRunning());
    g.reset();
    EXPECT_FALSE(g.isRendered());
    EXPECT_FALSE(g.isRunning());
    EXPECT_FALSE(Access::isFoundationBuilt(g));
    EXPECT_EQ(g.getGraphBuilder(), nullptr);
    EXPECT_EQ(g.getGraphBuilder2(), nullptr);
    expectNoReferences();
    EXPECT_THAT(g.calls,
                ElementsAre("init", "render", "preStart(false)", "unrender", "uninit", "reset"));
  }
  EXPECT_EQ(objects.graphsCreated(), 1);
  EXPECT_EQ(objects.buildersCreated(), 1);
}

TEST_F(CaptureGraphTest, EveryRenderBuildsNewGraphObjects) {
  RecordingGraph g;
  ASSERT_EQ(g.render(false), S_OK);
  g.deconstruct();
  EXPECT_FALSE(g.isRendered());
  expectNoReferences();
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(objects.graphsCreated(), 2);
  EXPECT_EQ(objects.buildersCreated(), 2);
  EXPECT_THAT(g.calls, ElementsAre("init", "render", "unrender", "uninit", "init", "render"));
  g.reset();
  expectNoReferences();
}

TEST_F(CaptureGraphTest, RenderOnARenderedGraphChangesNothing) {
  RecordingGraph g;
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(g.render(true), S_OK);
  EXPECT_EQ(Access::registration(g), nullptr);
  EXPECT_THAT(g.calls, ElementsAre("init", "render"));
  EXPECT_EQ(objects.graphsCreated(), 1);
  g.reset();
}

TEST_F(CaptureGraphTest, FailedFoundationIsTornDownWithOneUninit) {
  {
    RecordingGraph g;
    g.initResult = E_OUTOFMEMORY;
    EXPECT_EQ(g.render(false), E_OUTOFMEMORY);
    EXPECT_THAT(g.calls, ElementsAre("init", "uninit"));
    EXPECT_FALSE(g.isRendered());
    EXPECT_FALSE(Access::isFoundationBuilt(g));
    expectNoReferences();
  }
  {
    // A success code other than S_OK from the hook still builds.
    RecordingGraph g;
    g.initResult = S_FALSE;
    EXPECT_EQ(g.render(false), S_OK);
    EXPECT_TRUE(g.isRendered());
    g.reset();
  }
  {
    RecordingGraph g;
    EXPECT_CALL(builder, SetFiltergraph(_)).WillOnce(Return(E_INVALIDARG));
    EXPECT_EQ(g.render(false), E_INVALIDARG);
    EXPECT_THAT(g.calls, ElementsAre("uninit"));
    expectNoReferences();
  }
  {
    RecordingGraph g;
    objects.failBuilder(REGDB_E_CLASSNOTREG);
    EXPECT_EQ(g.render(false), REGDB_E_CLASSNOTREG);
    EXPECT_THAT(g.calls, ElementsAre("uninit"));
    expectNoReferences();
  }
  {
    RecordingGraph g;
    objects.failGraph(E_ACCESSDENIED);
    const int builders = objects.buildersCreated();
    EXPECT_EQ(g.render(false), E_ACCESSDENIED);
    EXPECT_EQ(objects.buildersCreated(), builders);
    EXPECT_THAT(g.calls, ElementsAre("uninit"));
    EXPECT_EQ(g.getGraphBuilder(), nullptr);
  }
}

TEST_F(CaptureGraphTest, FailedRenderHookLeavesTheGraphEmpty) {
  RecordingGraph g;
  g.renderResult = VFW_E_CANNOT_CONNECT;
  EXPECT_EQ(g.render(true), VFW_E_CANNOT_CONNECT);
  EXPECT_FALSE(g.isRendered());
  EXPECT_FALSE(Access::isFoundationBuilt(g));
  EXPECT_EQ(Access::registration(g), nullptr);
  EXPECT_EQ(g.getGraphBuilder(), nullptr);
  EXPECT_EQ(g.getGraphBuilder2(), nullptr);
  EXPECT_THAT(g.calls, ElementsAre("init", "render", "unrender", "uninit"));
  expectNoReferences();
}

TEST_F(CaptureGraphTest, RunIsAskedTwiceWhenItFirstAnswersNoInterface) {
  RecordingGraph g;
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_CALL(control, Run()).WillOnce(Return(E_NOINTERFACE)).WillOnce(Return(S_FALSE));
  EXPECT_CALL(control, Stop()).Times(0);
  EXPECT_EQ(g.start(false), S_OK);
  EXPECT_TRUE(g.isRunning());
  EXPECT_EQ(control.refs(), 0);
  ::testing::Mock::VerifyAndClearExpectations(&control);
  g.reset();
}

TEST_F(CaptureGraphTest, FailedRunIsFollowedByStopAndTheGraphStaysRendered) {
  RecordingGraph g;
  ASSERT_EQ(g.render(false), S_OK);
  {
    InSequence order;
    EXPECT_CALL(control, Run()).WillOnce(Return(E_NOINTERFACE)).WillOnce(Return(E_FAIL));
    EXPECT_CALL(control, Stop()).WillOnce(Return(E_UNEXPECTED));
  }
  EXPECT_EQ(g.start(true), E_FAIL);
  EXPECT_FALSE(g.isRunning());
  EXPECT_TRUE(g.isRendered());
  EXPECT_THAT(g.calls, ElementsAre("init", "render", "preStart(true)"));
  ::testing::Mock::VerifyAndClearExpectations(&control);
  g.reset();
  expectNoReferences();
}

// A filter that refuses to start leaves the ones the graph had already
// started running; each of them is stopped, so that the graph can be torn
// down.
TEST_F(CaptureGraphTest, FailedRunStopsEveryFilter) {
  NiceMock<MockBaseFilter> source;
  NiceMock<MockBaseFilter> sink;
  ListEnumFilters filters({&source, &sink});
  RecordingGraph g;
  ASSERT_EQ(g.render(false), S_OK);
  const HRESULT busy = HRESULT_FROM_WIN32(ERROR_BUSY);
  EXPECT_CALL(control, Run()).WillOnce(Return(busy));
  EXPECT_CALL(graph, EnumFilters(_)).WillOnce(HandOut<0>(&filters));
  EXPECT_CALL(source, Stop()).WillOnce(Return(S_OK));
  EXPECT_CALL(sink, Stop()).WillOnce(Return(S_OK));
  EXPECT_EQ(g.start(false), busy);
  EXPECT_FALSE(g.isRunning());
  g.reset();
  expectNoReferences();
}

TEST_F(CaptureGraphTest, StartAsksPreStartOnlyWhenNotRunning) {
  RecordingGraph g;
  ASSERT_EQ(g.render(false), S_OK);
  g.preStartResult = E_ABORT;
  EXPECT_CALL(control, Run()).Times(0);
  EXPECT_EQ(g.start(false), E_ABORT);
  EXPECT_FALSE(g.isRunning());
  ::testing::Mock::VerifyAndClearExpectations(&control);

  g.preStartResult = S_OK;
  EXPECT_CALL(control, Run()).WillOnce(Return(S_OK));
  ASSERT_EQ(g.start(false), S_OK);
  g.calls.clear();
  EXPECT_EQ(g.start(true), S_OK);
  EXPECT_THAT(g.calls, IsEmpty());
  ::testing::Mock::VerifyAndClearExpectations(&control);
  g.reset();
}

TEST_F(CaptureGraphTest, StartOnAGraphThatWasNeverRenderedFailsWithoutEffect) {
  RecordingGraph g;
  EXPECT_EQ(g.start(false), VFW_E_WRONG_STATE);
  EXPECT_FALSE(g.isRunning());
  EXPECT_FALSE(g.isRendered());
  EXPECT_EQ(objects.graphsCreated(), 0);
  EXPECT_THAT(g.calls, ElementsAre("preStart(false)"));
  EXPECT_EQ(g.startWithoutRendering(), VFW_E_WRONG_STATE);
}

TEST_F(CaptureGraphTest, StopAsksNothingOfAGraphThatIsNotRunning) {
  RecordingGraph g;
  EXPECT_EQ(g.stop(), S_OK);
  ASSERT_EQ(g.render(false), S_OK);
  const long queries = graph.queries();
  EXPECT_CALL(control, Stop()).Times(0);
  EXPECT_EQ(g.stop(), S_OK);
  EXPECT_EQ(graph.queries(), queries);
  ::testing::Mock::VerifyAndClearExpectations(&control);
  g.reset();
}

TEST_F(CaptureGraphTest, FailedStopKeepsTheGraphRunning) {
  RecordingGraph g;
  ASSERT_EQ(g.render(false), S_OK);
  ASSERT_EQ(g.start(false), S_OK);
  EXPECT_CALL(control, Stop()).WillOnce(Return(E_FAIL)).WillOnce(Return(S_OK));
  EXPECT_EQ(g.stop(), E_FAIL);
  EXPECT_TRUE(g.isRunning());
  EXPECT_EQ(g.stop(), S_OK);
  EXPECT_FALSE(g.isRunning());
  EXPECT_TRUE(g.isRendered());
  ::testing::Mock::VerifyAndClearExpectations(&control);
  g.reset();
}

TEST_F(CaptureGraphTest, GraphWithoutMediaControlCannotRunOrStop) {
  RecordingGraph g;
  graph.refuse(IID_IMediaControl, E_NOINTERFACE);
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(g.start(false), E_NOINTERFACE);
  EXPECT_FALSE(g.isRunning());
  g.reset();
  expectNoReferences();
}

// A stop that fails while the graph is torn down leaves the running flag
// without graph objects: stop then fails without effect, and the next reset
// clears the stale flag.
TEST_F(CaptureGraphTest, StaleRunningFlagAfterAFailedTeardownIsSafe) {
  RecordingGraph g;
  ASSERT_EQ(g.render(true), S_OK);
  ASSERT_EQ(g.start(false), S_OK);
  EXPECT_CALL(control, Stop()).Times(2).WillRepeatedly(Return(E_FAIL));
  g.reset();
  ::testing::Mock::VerifyAndClearExpectations(&control);
  EXPECT_TRUE(g.isRunning());
  EXPECT_FALSE(g.isRendered());
  EXPECT_EQ(Access::registration(g), nullptr);
  EXPECT_EQ(g.getGraphBuilder(), nullptr);
  expectNoReferences();

  EXPECT_CALL(control, Stop()).Times(0);
  EXPECT_EQ(g.stop(), VFW_E_WRONG_STATE);
  EXPECT_TRUE(g.isRunning());
  g.calls.clear();
  EXPECT_EQ(g.start(false), S_OK);
  EXPECT_THAT(g.calls, IsEmpty());

  g.reset();
  EXPECT_FALSE(g.isRunning());
  EXPECT_THAT(g.calls, ElementsAre("reset"));
  // From here the graph works again.
  EXPECT_CALL(control, Run()).WillOnce(Return(S_OK));
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(g.start(false), S_OK);
  EXPECT_TRUE(g.isRunning());
  ::testing::Mock::VerifyAndClearExpectations(&control);
  g.reset();
  expectNoReferences();
}

TEST_F(CaptureGraphTest, DeconstructStopsBeforeItUnrenders) {
  RecordingGraph g;
  ASSERT_EQ(g.render(false), S_OK);
  ASSERT_EQ(g.start(false), S_OK);
  // Stop fails in deconstruct, succeeds in the unrender that follows.
  EXPECT_CALL(control, Stop()).WillOnce(Return(E_FAIL)).WillOnce(Return(S_OK));
  g.deconstruct();
  EXPECT_FALSE(g.isRunning());
  EXPECT_FALSE(g.isRendered());
  ::testing::Mock::VerifyAndClearExpectations(&control);
  g.calls.clear();
  g.deconstruct();
  EXPECT_THAT(g.calls, IsEmpty());
  expectNoReferences();
}

TEST_F(CaptureGraphTest, DestructorNeitherStopsNorCallsHooks) {
  auto* g = new RecordingGraph;
  ASSERT_EQ(g->render(true), S_OK);
  ASSERT_EQ(g->start(false), S_OK);
  EXPECT_CALL(control, Stop()).Times(0);
  std::vector<std::string> deleted;
  auto* property = new CountedProperty("Zoom", deleted);
  g->addDirectXProperty(property);
  delete g;
  EXPECT_THAT(deleted, IsEmpty());
  expectNoReferences();
  delete property;
}

// The Running Object Table entry itself is checked against the platform by
// the integration tests; here, that a rendered graph keeps its one
// registration and unrender drops it.
TEST_F(CaptureGraphTest, RegisteredRenderRegistersOnceAndUnrenderRevokes) {
  RecordingGraph g;
  ASSERT_EQ(g.render(true), S_OK);
  const ROTRegister* registration = Access::registration(g);
  ASSERT_NE(registration, nullptr);
  EXPECT_EQ(g.render(true), S_OK);
  EXPECT_EQ(Access::registration(g), registration);
  g.reset();
  EXPECT_EQ(Access::registration(g), nullptr);
  expectNoReferences();
}

TEST_F(CaptureGraphTest, FiltersAreAddedUnderTheirNameAndRemoved) {
  RecordingGraph g;
  Filter filter("KIVO Test Filter", CComPtr<IBaseFilter>(), nullptr, nullptr);
  EXPECT_EQ(g.addToGraph(&filter), VFW_E_WRONG_STATE);
  EXPECT_EQ(g.removeFromGraph(&filter), VFW_E_WRONG_STATE);
  ASSERT_EQ(g.render(false), S_OK);
  EXPECT_EQ(g.addToGraph(nullptr), E_POINTER);
  EXPECT_CALL(graph, AddFilter(nullptr, StrEq(L"KIVO Test Filter")))
      .WillOnce(Return(VFW_S_DUPLICATE_NAME));
  EXPECT_CALL(graph, RemoveFilter(nullptr)).WillOnce(Return(VFW_E_NOT_FOUND));
  EXPECT_EQ(g.addToGraph(&filter), VFW_S_DUPLICATE_NAME);
  EXPECT_EQ(g.removeFromGraph(&filter), VFW_E_NOT_FOUND);

  // Names are UTF-8, as kivo reports device names.
  Filter named("Cam\xc3\xa9ra \xe6\xb8\xac\xe8\xa9\xa6", CComPtr<IBaseFilter>(), nullptr, nullptr);
  EXPECT_CALL(graph, AddFilter(nullptr, StrEq(L"Cam\u00e9ra \u6e2c\u8a66"))).WillOnce(Return(S_OK));
  EXPECT_EQ(g.addToGraph(&named), S_OK);
  g.reset();
}

// The property container owns its properties.
class PropertyContainerTest : public CaptureGraphTest {
 protected:
  std::vector<std::string> deleted;
};

TEST_F(PropertyContainerTest, ResetDeletesEveryPropertyOnceAndEmptiesTheContainer) {
  RecordingGraph g;
  g.addDirectXProperty(new CountedProperty("Zoom", deleted));
  g.addDirectXProperty(new CountedProperty("Brightness", deleted));
  g.addDirectXProperty(new CountedProperty("BrightnessMode", deleted));
  g.addDirectXProperty(nullptr);
  EXPECT_EQ(g.getPropertyContainer().size(), 3u);
  g.reset();
  EXPECT_THAT(deleted, ElementsAre("Brightness", "BrightnessMode", "Zoom"));
  EXPECT_THAT(g.getPropertyContainer(), IsEmpty());
  EXPECT_THAT(g.calls, ElementsAre("reset"));
  g.reset();
  EXPECT_EQ(deleted.size(), 3u);
}

TEST_F(PropertyContainerTest, TheContainerIsHandedOutAsACopy) {
  RecordingGraph g;
  auto* zoom = new CountedProperty("Zoom", deleted);
  g.addDirectXProperty(zoom);
  auto copy = g.getPropertyContainer();
  ASSERT_EQ(copy.size(), 1u);
  EXPECT_EQ(copy["Zoom"], zoom);
  copy.erase("Zoom");
  copy["Focus"] = nullptr;
  auto again = g.getPropertyContainer();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again.begin()->second, zoom);
  g.reset();
  EXPECT_THAT(deleted, ElementsAre("Zoom"));
}

TEST_F(PropertyContainerTest, ASecondPropertyUnderTheSameNameReplacesAndDeletesTheFirst) {
  RecordingGraph g;
  auto* first = new CountedProperty("Gain", deleted);
  auto* second = new CountedProperty("Gain", deleted);
  g.addDirectXProperty(first);
  g.addDirectXProperty(second);
  EXPECT_THAT(deleted, ElementsAre("Gain"));
  auto container = g.getPropertyContainer();
  ASSERT_EQ(container.size(), 1u);
  EXPECT_EQ(container["Gain"], second);
  // The same object again is kept, not deleted.
  g.addDirectXProperty(second);
  EXPECT_EQ(deleted.size(), 1u);
  g.reset();
  EXPECT_THAT(deleted, ElementsAre("Gain", "Gain"));
}

TEST_F(PropertyContainerTest, ResetOfARunningGraphTearsDownBeforeDeletingProperties) {
  RecordingGraph g;
  ASSERT_EQ(g.render(false), S_OK);
  ASSERT_EQ(g.start(false), S_OK);
  g.addDirectXProperty(new CountedProperty("Exposure", deleted));
  Access::resetGraph(g);
  EXPECT_THAT(deleted, ElementsAre("Exposure"));
  EXPECT_FALSE(g.isRunning());
  // resetGraph leaves the media section alone.
  EXPECT_THAT(g.calls, ElementsAre("init", "render", "preStart(false)", "unrender", "uninit"));
  expectNoReferences();
}

}  // namespace
}  // namespace kivo::test
