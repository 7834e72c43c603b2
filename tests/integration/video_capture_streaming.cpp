// A host captures frames from the KIVO Test Camera through Wine's
// DirectShow: format, order, rate changes, restarts and thread hygiene.

#include "video_capture_host.h"

namespace kivo::test {
namespace {

using Streaming = TestCameraTest;

// Every counter one more than the one before.
::testing::AssertionResult consecutive(const std::vector<uint32_t>& counters) {
  for (size_t i = 1; i < counters.size(); ++i) {
    if (counters[i] != counters[i - 1] + 1)
      return ::testing::AssertionFailure()
             << "frame " << i << " has counter " << counters[i] << " after " << counters[i - 1];
  }
  return ::testing::AssertionSuccess();
}

TEST_F(Streaming, FramesOfTheSelectedFormatArriveInOrderAtTheSetRate) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(kUsbCamera, log);
  ASSERT_EQ(graph->render(false), S_OK);
  graph->setSelectedCapID(graph->lookupCapIDByName("YUY2_320x240"));
  ASSERT_EQ(graph->setFrameRate(666666, true), S_OK);  // 15 frames per second

  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_TRUE(graph->isRunning());
  ASSERT_TRUE(log->frames.waitFor(15, kFrameWait)) << log->frames.count() << " frames";
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_FALSE(graph->isRunning());

  const Connected connected = connectedFormat(*graph);
  EXPECT_EQ(connected.subtype, MEDIASUBTYPE_YUY2);
  EXPECT_EQ(connected.width, 320);
  EXPECT_EQ(connected.height, 240);
  EXPECT_EQ(connected.interval, 666666);
  for (long size : log->sizesSeen()) EXPECT_EQ(size, 320 * 240 * 2);
  EXPECT_TRUE(consecutive(log->countersSeen()));
}

TEST_F(Streaming, EachUncompressedFormatIsDeliveredAsSelected) {
  struct Case {
    const char* name;
    GUID subtype;
    long bytes;
  };
  const Case cases[] = {{"RGB24_160x120", MEDIASUBTYPE_RGB24, 160 * 120 * 3},
                        {"RGB32_320x240", MEDIASUBTYPE_RGB32, 320 * 240 * 4},
                        {"NV12_320x240", MEDIASUBTYPE_NV12, 320 * 240 * 3 / 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto log = std::make_shared<FrameLog>();
    std::unique_ptr<VideoCaptureGraph> graph = openGraph(kUsbCamera, log);
    ASSERT_EQ(graph->render(false), S_OK);
    graph->setSelectedCapID(graph->lookupCapIDByName(c.name));
    ASSERT_EQ(graph->start(false), S_OK);
    ASSERT_TRUE(log->frames.waitFor(3, kFrameWait));
    EXPECT_EQ(graph->stop(), S_OK);
    EXPECT_EQ(connectedFormat(*graph).subtype, c.subtype);
    EXPECT_EQ(log->sizesSeen().front(), c.bytes);
  }
}

// The grabber asks for RGB24, but Wine has no decoder that turns MJPG into
// it: the connection is retried for any video and the host receives the
// device's JPEG frames as they are.
TEST_F(Streaming, CompressedFormatWithoutADecoderArrivesAsItIs) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(kUsbCamera, log);
  ASSERT_EQ(graph->render(false), S_OK);
  graph->setSelectedCapID(graph->lookupCapIDByName("MJPG_1280x720"));
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(log->frames.waitFor(2, kFrameWait));
  EXPECT_EQ(graph->stop(), S_OK);

  const Connected connected = connectedFormat(*graph);
  EXPECT_EQ(connected.subtype, MEDIASUBTYPE_MJPG);
  EXPECT_EQ(connected.width, 1280);
  const std::vector<BYTE> frame = log->latestFrame();
  ASSERT_GE(frame.size(), 2u);
  EXPECT_LT(frame.size(), 1280u * 720u);
  EXPECT_EQ(frame[0], 0xFF);  // a JPEG start-of-image marker
  EXPECT_EQ(frame[1], 0xD8);
}

TEST_F(Streaming, ARateChangeWhileRunningKeepsTheGraphRunning) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(kUsbCamera, log);
  ASSERT_EQ(graph->render(false), S_OK);
  graph->setSelectedCapID(graph->lookupCapIDByName("YUY2_160x120"));
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(log->frames.waitFor(3, kFrameWait));

  EXPECT_EQ(graph->setFrameRate(2000000, true), S_OK);  // 5 frames per second
  EXPECT_TRUE(graph->isRunning());
  const long before = log->frames.count();
  EXPECT_TRUE(log->frames.waitFor(before + 3, kFrameWait));
  EXPECT_EQ(graph->stop(), S_OK);

  // The interval stays with the format: the next start applies it.
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_EQ(connectedFormat(*graph).interval, 2000000);
  EXPECT_EQ(graph->stop(), S_OK);
}

TEST_F(Streaming, StartStopStartDeliversFramesEveryTime) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(kUsbCamera, log);
  ASSERT_EQ(graph->render(false), S_OK);
  graph->setSelectedCapID(graph->lookupCapIDByName("YUY2_160x120"));
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE(cycle);
    const long before = log->frames.count();
    ASSERT_EQ(graph->start(false), S_OK);
    EXPECT_TRUE(log->frames.waitFor(before + 3, kFrameWait));
    EXPECT_EQ(graph->stop(), S_OK);
  }
  EXPECT_EQ(log->destroyed.count(), 0);
}

TEST_F(Streaming, RepeatedCyclesLeaveNoThreadsBehind) {
  auto cycle = [&]() {
    auto log = std::make_shared<FrameLog>();
    std::unique_ptr<VideoCaptureGraph> graph = openGraph(kUsbCamera, log);
    ASSERT_EQ(graph->render(false), S_OK);
    graph->setSelectedCapID(graph->lookupCapIDByName("YUY2_160x120"));
    ASSERT_EQ(graph->start(false), S_OK);
    ASSERT_TRUE(log->frames.waitFor(2, kFrameWait));
    EXPECT_EQ(graph->stop(), S_OK);
    graph->reset();
    EXPECT_EQ(log->destroyed.count(), 1);
  };
  // One cycle first: COM and DirectShow start threads of their own once.
  cycle();
  const long baseline = threadCount();
  ASSERT_GT(baseline, 0);
  for (int i = 0; i < 5; ++i) cycle();

  // Streaming threads end shortly after a stop: give them a bounded while.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  long now = threadCount();
  while (now > baseline + 1 && std::chrono::steady_clock::now() < deadline) {
    Sleep(50);
    now = threadCount();
  }
  EXPECT_LE(now, baseline + 1) << "threads: " << baseline << " after one cycle, " << now
                               << " after six";
}

}  // namespace
}  // namespace kivo::test
