// The frame rates of the selected format: how they are read from the
// device, and setting one on a stopped and on a running graph.

#include "fake_capture_device.h"

namespace kivo::test {
namespace {

using ::testing::_;
using ::testing::AllOf;
using ::testing::Eq;
using ::testing::Field;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::Pointee;
using ::testing::Return;

LONGLONG intervalOf(const AM_MEDIA_TYPE& type) {
  const VIDEOINFOHEADER* header = videoHeader(type);
  return header ? header->AvgTimePerFrame : -1;
}

class FrameRatesTest : public VideoGraphTest {
 protected:
  // A rendered graph on three formats (the pin's second one is skipped) with
  // video control.
  std::unique_ptr<VideoCaptureGraph> rendered() {
    threeFormats();
    fake_.offerVideoControl();
    auto graph = makeGraph();
    EXPECT_EQ(graph->render(false), S_OK);
    return graph;
  }
};

TEST(FrameRateConversion, IntervalsToFramesPerSecond) {
  EXPECT_EQ(VideoCaptureGraph::convertToFramesPerSecond(0), 0.0);
  EXPECT_EQ(VideoCaptureGraph::convertToFramesPerSecond(400000), 25.0);
  EXPECT_EQ(VideoCaptureGraph::convertToFramesPerSecond(10000000), 1.0);
  EXPECT_DOUBLE_EQ(VideoCaptureGraph::convertToFramesPerSecond(333333), 30.00003000003);
}

TEST_F(FrameRatesTest, TheListIsKeyedByRateFastestFirstWithoutDuplicates) {
  fake_.frameIntervals = {333333, 666666, 333333};
  auto graph = rendered();
  const VideoCaptureGraph::FrameRateMap& rates = graph->getFrameRates();
  ASSERT_EQ(rates.size(), 2u);
  auto first = rates.begin();
  EXPECT_DOUBLE_EQ(first->first, 10000000.0 / 333333);
  EXPECT_EQ(first->second, 333333);
  EXPECT_DOUBLE_EQ(std::next(first)->first, 10000000.0 / 666666);
  EXPECT_EQ(std::next(first)->second, 666666);
  // Served as it is: reading it again asks the device nothing.
  EXPECT_CALL(fake_.videoControl, GetFrameRateList(_, _, _, _, _)).Times(0);
  EXPECT_EQ(&graph->getFrameRates(), &rates);
}

TEST_F(FrameRatesTest, SelectingAFormatAsksForItsCapabilityIndexAndSize) {
  fake_.frameIntervals = {333333};
  auto graph = rendered();
  // Position 1 is the pin's capability 2 (capability 1 was not listed).
  EXPECT_CALL(fake_.videoControl,
              GetFrameRateList(Eq(&fake_.capturePin), 2,
                               AllOf(Field(&SIZE::cx, 320), Field(&SIZE::cy, 240)), _, _))
      .WillOnce(Invoke([](IPin*, LONG, SIZE, LONG* count, LONGLONG** list) {
        *count = 3;
        *list = static_cast<LONGLONG*>(CoTaskMemAlloc(3 * sizeof(LONGLONG)));
        (*list)[0] = 666666;
        (*list)[1] = 2000000;
        (*list)[2] = 400000;
        return S_OK;
      }));
  EXPECT_CALL(fake_.builder, FindPin(Eq(static_cast<IUnknown*>(&fake_.device)), PINDIR_OUTPUT,
                                     Pointee(Eq(PIN_CATEGORY_CAPTURE)),
                                     Pointee(Eq(MEDIATYPE_Video)), FALSE, 0, _));
  graph->setSelectedCapID(1);
  std::vector<LONGLONG> intervals;
  for (const auto& rate : graph->getFrameRates()) intervals.push_back(rate.second);
  EXPECT_EQ(intervals, (std::vector<LONGLONG>{400000, 666666, 2000000}));
}

TEST_F(FrameRatesTest, DevicesThatCannotListRatesHaveNone) {
  {
    fake_.frameRateStatus = E_NOTIMPL;
    auto graph = rendered();
    EXPECT_TRUE(graph->getFrameRates().empty());
    EXPECT_EQ(graph->setFrameRate(333333, true), E_FAIL);
  }
  {
    // No IAMVideoControl at all.
    auto graph = makeGraph();
    ASSERT_EQ(graph->render(false), S_OK);
    EXPECT_TRUE(graph->getFrameRates().empty());
    EXPECT_EQ(graph->setFrameRate(333333, true), E_FAIL);
    // Unvalidated, any interval is written.
    EXPECT_EQ(graph->setFrameRate(333333, false), S_OK);
  }
}

TEST_F(FrameRatesTest, StoppedGraphTakesTheIntervalAtTheNextBuild) {
  fake_.frameIntervals = {333333, 666666};
  auto graph = rendered();
  EXPECT_CALL(fake_.config, SetFormat(_)).Times(0);
  EXPECT_CALL(fake_.control, Run()).Times(0);

  EXPECT_EQ(graph->setFrameRate(400000, true), E_FAIL);  // 25 fps is not listed
  EXPECT_EQ(graph->setFrameRate(666666, true), S_OK);
  EXPECT_EQ(graph->setFrameRate(400000, false), S_OK);  // unvalidated: written
  ::testing::Mock::VerifyAndClearExpectations(&fake_.config);
  ::testing::Mock::VerifyAndClearExpectations(&fake_.control);

  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_EQ(fake_.formatsSet.size(), 1u);
  EXPECT_EQ(intervalOf(fake_.formatsSet[0]), 400000);
  // The interval belongs to the format and outlives rebuilds.
  ASSERT_EQ(graph->stop(), S_OK);
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_EQ(intervalOf(fake_.formatsSet.back()), 400000);
}

TEST_F(FrameRatesTest, RunningGraphIsStoppedReconfiguredAndRestarted) {
  fake_.frameIntervals = {333333, 666666};
  auto graph = rendered();
  ASSERT_EQ(graph->start(false), S_OK);
  const int builds = objects_.graphsCreated();
  EXPECT_CALL(fake_.control, Stop()).Times(::testing::AnyNumber());  // at teardown
  {
    InSequence order;
    EXPECT_CALL(fake_.control, Stop());
    EXPECT_CALL(fake_.config, SetFormat(_)).WillOnce(Invoke([](AM_MEDIA_TYPE* type) {
      EXPECT_EQ(intervalOf(*type), 666666);
      return S_OK;
    }));
    EXPECT_CALL(fake_.control, Run());
  }
  EXPECT_EQ(graph->setFrameRate(666666, true), S_OK);
  EXPECT_TRUE(graph->isRunning());
  EXPECT_EQ(objects_.graphsCreated(), builds);  // not rebuilt
}

TEST_F(FrameRatesTest, RestartFailureIsReported) {
  fake_.frameIntervals = {333333};
  auto graph = rendered();
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_CALL(fake_.control, Run()).WillOnce(Return(E_UNEXPECTED)).WillRepeatedly(Return(S_OK));
  EXPECT_EQ(graph->setFrameRate(333333, true), E_UNEXPECTED);
  EXPECT_FALSE(graph->isRunning());
}

TEST_F(FrameRatesTest, WithoutASelectedFormatNothingCanBeSet) {
  fake_.frameIntervals = {333333};
  // Before the first render and after reset there is no format list.
  auto graph = makeGraph();
  threeFormats();
  fake_.offerVideoControl();
  EXPECT_EQ(graph->setFrameRate(333333, false), E_FAIL);
  EXPECT_EQ(graph->setFrameRate(333333, true), E_FAIL);

  ASSERT_EQ(graph->render(false), S_OK);
  graph->setSelectedCapID(-1);
  EXPECT_TRUE(graph->getFrameRates().empty());
  EXPECT_EQ(graph->setFrameRate(333333, false), E_FAIL);
  EXPECT_EQ(graph->setFrameRate(333333, true), E_FAIL);

  graph->reset();
  EXPECT_EQ(graph->setFrameRate(333333, false), E_FAIL);
}

}  // namespace
}  // namespace kivo::test
