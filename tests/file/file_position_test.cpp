// Position and duration of a file graph against a fake seeking interface: every query switches
// to its time format and restores the graph's own on every path; a refused format is not.

#include <kivo/duration_unsupported_exception.h>
#include <kivo/position_unsupported_exception.h>

#include "file/file_graph_access.h"
#include "support/mocks/imediaseeking.h"

namespace kivo {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::InSequence;
using ::testing::Pointee;
using ::testing::Return;
using ::testing::SetArgPointee;
using Access = TestAccess<FileCaptureGraph>;

class FilePositionTest : public ::testing::Test {
 protected:
  void SetUp() override { Access::plantSeeking(graph, &seeking); }
  void TearDown() override { Access::plantSeeking(graph, nullptr); }

  // In order: `saved` read, `format` set, the operation, `saved` set again whatever it answered.
  template <class Operation>
  void expectScope(const GUID& saved, const GUID& format, Operation operation) {
    InSequence order;
    EXPECT_CALL(seeking, GetTimeFormat(_)).WillOnce(DoAll(SetArgPointee<0>(saved), Return(S_OK)));
    EXPECT_CALL(seeking, SetTimeFormat(Pointee(format))).WillOnce(Return(S_OK));
    operation();
    EXPECT_CALL(seeking, SetTimeFormat(Pointee(saved))).WillOnce(Return(S_OK));
  }

  ::testing::StrictMock<test::MockMediaSeeking> seeking;
  FileCaptureGraph graph{L"unused.avi"};
};

TEST(FilePositionUnrendered, EveryQueryThrowsWithoutTouchingThePlatform) {
  FileCaptureGraph graph(L"never-rendered.avi");
  EXPECT_THROW(graph.getDurationInFrames(), DurationUnsupportedException);
  EXPECT_THROW(graph.getPositionInFrames(), PositionUnsupportedException);
  EXPECT_THROW(graph.setPositionInSeconds(1.0), PositionUnsupportedException);
  EXPECT_THROW(graph.getDurationInSeconds(), DurationUnsupportedException);
  EXPECT_FALSE(graph.isStreamFinished());
}

TEST_F(FilePositionTest, ARefusedFormatIsSetOnceAndNothingIsRestored) {
  EXPECT_CALL(seeking, GetTimeFormat(_))
      .WillOnce(DoAll(SetArgPointee<0>(TIME_FORMAT_MEDIA_TIME), Return(S_OK)));
  EXPECT_CALL(seeking, SetTimeFormat(Pointee(TIME_FORMAT_FRAME))).WillOnce(Return(E_INVALIDARG));
  EXPECT_THROW(graph.getDurationInFrames(), DurationUnsupportedException);
  EXPECT_CALL(seeking, GetTimeFormat(_)).WillOnce(Return(E_FAIL));
  EXPECT_THROW(graph.getPositionInFrames(), PositionUnsupportedException);
}

TEST_F(FilePositionTest, DurationsAndPositionsAreUsedInTheirFormatAndTheFormatRestored) {
  expectScope(TIME_FORMAT_FRAME, TIME_FORMAT_MEDIA_TIME, [&] {
    EXPECT_CALL(seeking, GetDuration(_))
        .WillOnce(DoAll(SetArgPointee<0>(LONGLONG{25000000}), Return(S_OK)));
  });
  EXPECT_DOUBLE_EQ(graph.getDurationInSeconds(), 2.5);

  expectScope(TIME_FORMAT_MEDIA_TIME, TIME_FORMAT_SAMPLE,
              [&] { EXPECT_CALL(seeking, GetDuration(_)).WillOnce(Return(E_NOTIMPL)); });
  EXPECT_THROW(graph.getDurationInSamples(), DurationUnsupportedException);

  expectScope(TIME_FORMAT_MEDIA_TIME, TIME_FORMAT_MEDIA_TIME, [&] {
    EXPECT_CALL(seeking, SetPositions(Pointee(LONGLONG{25000000}), AM_SEEKING_AbsolutePositioning,
                                      nullptr, AM_SEEKING_NoPositioning))
        .WillOnce(Return(S_OK));
  });
  graph.setPositionInSeconds(2.5);

  expectScope(TIME_FORMAT_MEDIA_TIME, TIME_FORMAT_FRAME, [&] {
    EXPECT_CALL(seeking, SetPositions(Pointee(LONGLONG{100}), AM_SEEKING_AbsolutePositioning,
                                      nullptr, AM_SEEKING_NoPositioning))
        .WillOnce(Return(E_FAIL));
  });
  EXPECT_THROW(graph.setPositionInFrames(100), PositionUnsupportedException);

  expectScope(TIME_FORMAT_MEDIA_TIME, TIME_FORMAT_FRAME, [&] {
    EXPECT_CALL(seeking, GetCurrentPosition(_))
        .WillOnce(DoAll(SetArgPointee<0>(LONGLONG{42}), Return(S_OK)));
  });
  EXPECT_EQ(graph.getPositionInFrames(), 42);

  expectScope(TIME_FORMAT_MEDIA_TIME, TIME_FORMAT_MEDIA_TIME,
              [&] { EXPECT_CALL(seeking, GetCurrentPosition(_)).WillOnce(Return(E_UNEXPECTED)); });
  EXPECT_THROW(graph.getPositionInSeconds(), PositionUnsupportedException);
}

}  // namespace
}  // namespace kivo
