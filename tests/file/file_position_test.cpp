#include <kivo/duration_unsupported_exception.h>
#include <kivo/file_capture_graph.h>
#include <kivo/position_unsupported_exception.h>

#include "support/com_fake.h"
#include "support/mocks/imediaseeking.h"

#include "file/file_graph_access.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kivo {

namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::InSequence;
using ::testing::Pointee;
using ::testing::Return;
using ::testing::SetArgPointee;
using test::MockMediaSeeking;

using Access = TestAccess<FileCaptureGraph>;

// A graph whose seeking interface is a fake: the position and duration
// operations only talk to that interface.
class FilePositionTest : public ::testing::Test {
 protected:
  void SetUp() override { Access::plantSeeking(graph, &seeking); }
  void TearDown() override { Access::plantSeeking(graph, nullptr); }

  // The graph's time format before each query, restored after it.
  void expectFormatScope(const GUID& format) {
    EXPECT_CALL(seeking, GetTimeFormat(_))
        .WillOnce(DoAll(SetArgPointee<0>(TIME_FORMAT_MEDIA_TIME), Return(S_OK)));
    EXPECT_CALL(seeking, SetTimeFormat(Pointee(format))).WillOnce(Return(S_OK));
  }

  ::testing::StrictMock<MockMediaSeeking> seeking;
  FileCaptureGraph graph{L"unused.avi"};
};

TEST(FilePositionUnrendered, EveryQueryThrowsWithoutTouchingThePlatform) {
  FileCaptureGraph graph(L"never-rendered.avi");
  EXPECT_THROW(graph.getDurationInFrames(), DurationUnsupportedException);
  EXPECT_THROW(graph.getDurationInSamples(), DurationUnsupportedException);
  EXPECT_THROW(graph.getDurationInSeconds(), DurationUnsupportedException);
  EXPECT_THROW(graph.getPositionInFrames(), PositionUnsupportedException);
  EXPECT_THROW(graph.getPositionInSeconds(), PositionUnsupportedException);
  EXPECT_THROW(graph.setPositionInFrames(3), PositionUnsupportedException);
  EXPECT_THROW(graph.setPositionInSeconds(1.0), PositionUnsupportedException);
  try {
    graph.getDurationInSeconds();
  } catch (const HRException& e) {
    EXPECT_STREQ(e.getMessage(), "The duration of this media file cannot be determined.");
  }
  EXPECT_FALSE(graph.isStreamFinished());
}

TEST_F(FilePositionTest, DurationInSecondsSwitchesFormatAndBack) {
  InSequence order;
  EXPECT_CALL(seeking, GetTimeFormat(_))
      .WillOnce(DoAll(SetArgPointee<0>(TIME_FORMAT_FRAME), Return(S_OK)));
  EXPECT_CALL(seeking, SetTimeFormat(Pointee(TIME_FORMAT_MEDIA_TIME))).WillOnce(Return(S_OK));
  EXPECT_CALL(seeking, GetDuration(_))
      .WillOnce(DoAll(SetArgPointee<0>(LONGLONG{25000000}), Return(S_OK)));
  EXPECT_CALL(seeking, SetTimeFormat(Pointee(TIME_FORMAT_FRAME))).WillOnce(Return(S_OK));
  EXPECT_DOUBLE_EQ(graph.getDurationInSeconds(), 2.5);
}

TEST_F(FilePositionTest, FailedDurationStillRestoresTheFormat) {
  InSequence order;
  expectFormatScope(TIME_FORMAT_SAMPLE);
  EXPECT_CALL(seeking, GetDuration(_)).WillOnce(Return(E_NOTIMPL));
  EXPECT_CALL(seeking, SetTimeFormat(Pointee(TIME_FORMAT_MEDIA_TIME))).WillOnce(Return(S_OK));
  EXPECT_THROW(graph.getDurationInSamples(), DurationUnsupportedException);
}

TEST_F(FilePositionTest, RefusedFormatIsAskedForOnceAndNothingIsRestored) {
  EXPECT_CALL(seeking, GetTimeFormat(_))
      .WillOnce(DoAll(SetArgPointee<0>(TIME_FORMAT_MEDIA_TIME), Return(S_OK)));
  EXPECT_CALL(seeking, SetTimeFormat(Pointee(TIME_FORMAT_FRAME))).WillOnce(Return(E_INVALIDARG));
  EXPECT_THROW(graph.getDurationInFrames(), DurationUnsupportedException);
  EXPECT_CALL(seeking, GetTimeFormat(_)).WillOnce(Return(E_FAIL));
  EXPECT_THROW(graph.getPositionInFrames(), PositionUnsupportedException);
}

TEST_F(FilePositionTest, PositionsAreSetAbsolutelyWithoutStop) {
  {
    InSequence order;
    expectFormatScope(TIME_FORMAT_MEDIA_TIME);
    EXPECT_CALL(seeking, SetPositions(Pointee(LONGLONG{25000000}), AM_SEEKING_AbsolutePositioning,
                                      nullptr, AM_SEEKING_NoPositioning))
        .WillOnce(Return(S_OK));
    EXPECT_CALL(seeking, SetTimeFormat(Pointee(TIME_FORMAT_MEDIA_TIME))).WillOnce(Return(S_OK));
  }
  graph.setPositionInSeconds(2.5);

  {
    InSequence order;
    expectFormatScope(TIME_FORMAT_FRAME);
    EXPECT_CALL(seeking, SetPositions(Pointee(LONGLONG{100}), AM_SEEKING_AbsolutePositioning,
                                      nullptr, AM_SEEKING_NoPositioning))
        .WillOnce(Return(E_FAIL));
    EXPECT_CALL(seeking, SetTimeFormat(Pointee(TIME_FORMAT_MEDIA_TIME))).WillOnce(Return(S_OK));
  }
  EXPECT_THROW(graph.setPositionInFrames(100), PositionUnsupportedException);
}

TEST_F(FilePositionTest, PositionIsReadInFramesAndSeconds) {
  {
    InSequence order;
    expectFormatScope(TIME_FORMAT_FRAME);
    EXPECT_CALL(seeking, GetCurrentPosition(_))
        .WillOnce(DoAll(SetArgPointee<0>(LONGLONG{42}), Return(S_OK)));
    EXPECT_CALL(seeking, SetTimeFormat(Pointee(TIME_FORMAT_MEDIA_TIME))).WillOnce(Return(S_OK));
  }
  EXPECT_EQ(graph.getPositionInFrames(), 42);

  {
    InSequence order;
    expectFormatScope(TIME_FORMAT_MEDIA_TIME);
    EXPECT_CALL(seeking, GetCurrentPosition(_)).WillOnce(Return(E_UNEXPECTED));
    EXPECT_CALL(seeking, SetTimeFormat(Pointee(TIME_FORMAT_MEDIA_TIME))).WillOnce(Return(S_OK));
  }
  EXPECT_THROW(graph.getPositionInSeconds(), PositionUnsupportedException);
}

TEST_F(FilePositionTest, StreamIsNotFinishedWhileTheGraphIsNotRunning) {
  EXPECT_FALSE(graph.isStreamFinished());
}

}  // namespace
}  // namespace kivo
