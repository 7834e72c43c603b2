// A host reading media files through FileCaptureGraph on Wine's DirectShow.

#include <kivo/duration_unsupported_exception.h>
#include <kivo/dx_media_info.h>
#include <kivo/file_capture_graph.h>
#include <kivo/media_cb.h>
#include <kivo/position_unsupported_exception.h>

#include "support/media.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace kivo {
namespace {

using namespace std::chrono_literals;

// Records what the streaming thread hands over.
class RecordingCallback : public IMediaCB {
 public:
  long processSample(double sampleTime, IMediaSample* sample) override {
    {
      std::lock_guard<std::mutex> lock(mutex);
      times.push_back(sampleTime);
      sizes.push_back(sample ? sample->GetActualDataLength() : -1);
      bytes += sample ? sample->GetActualDataLength() : 0;
    }
    samples.add();
    return S_OK;
  }

  long count() const { return samples.count(); }

  test::EventCounter samples;
  std::mutex mutex;
  std::vector<double> times;
  std::vector<long> sizes;
  long long bytes = 0;
};

// Fails the test when called after it was retired.
class GuardedCallback : public RecordingCallback {
 public:
  long processSample(double t, IMediaSample* s) override {
    EXPECT_FALSE(retired.load()) << "a retired callback was called";
    return RecordingCallback::processSample(t, s);
  }
  std::atomic<bool> retired{false};
};

class FileGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::mediaAvailable()) GTEST_SKIP() << "no test media (run through scripts/test.sh)";
  }

  // Runs a rendered graph until it reports the end of the file.
  static bool runToEnd(FileCaptureGraph& graph) {
    if (FAILED(graph.start(false))) return false;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!graph.isStreamFinished()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  }

  test::ComScope com;
};

TEST_F(FileGraphTest, EveryFrameArrivesOnceInOrderWithTheFileFormat) {
  RecordingCallback video;
  {
    FileCaptureGraph graph(test::mediaPath("rgb24_160x120_10fps_20f.avi"));
    graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    EXPECT_EQ(graph.getVideoInfo(), nullptr);
    ASSERT_EQ(graph.render(false), S_OK);
    const DXMediaInfo* info = graph.getVideoInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->containsVideo());
    EXPECT_EQ(info->getVideoWidth(), 160);
    EXPECT_EQ(std::abs(info->getVideoHeight()), 120);
    EXPECT_EQ(info->getVideoBitDepth(), 24);
    EXPECT_NEAR(info->getAverageFrameRate(), 10.0, 0.01);
    EXPECT_EQ(info->getFormatName(), "RGB24");
    EXPECT_EQ(graph.getAudioInfo(), nullptr);
    EXPECT_NEAR(graph.getDurationInSeconds(), 2.0, 0.01);

    EXPECT_FALSE(graph.isStreamFinished());  // rendered, not running
    ASSERT_TRUE(runToEnd(graph));
    EXPECT_TRUE(graph.isStreamFinished());
    ASSERT_EQ(graph.stop(), S_OK);
    EXPECT_FALSE(graph.isStreamFinished());
  }
  ASSERT_EQ(video.count(), 20);
  for (size_t i = 0; i < video.sizes.size(); ++i) {
    EXPECT_EQ(video.sizes[i], 160 * 120 * 3) << "frame " << i;
    if (i > 0) {
      EXPECT_GT(video.times[i], video.times[i - 1]) << "frame " << i;
    }
  }
}

TEST_F(FileGraphTest, VideoAndAudioStreamsReachTheirOwnCallbacks) {
  RecordingCallback video;
  RecordingCallback audio;
  FileCaptureGraph graph(test::mediaPath("rgb24_pcm_2s.avi"));
  graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
  graph.setAudioCallback(&audio, FileCaptureGraph::SAMPLE_PCM);
  ASSERT_EQ(graph.render(false), S_OK);

  const DXMediaInfo* sound = graph.getAudioInfo();
  ASSERT_NE(sound, nullptr);
  EXPECT_TRUE(sound->containsAudio());
  EXPECT_EQ(sound->getAudioSampleRate(), 22050);
  EXPECT_EQ(sound->getAudioBitDepth(), 16);
  EXPECT_EQ(sound->getAudioNumChannels(), 1);
  EXPECT_EQ(sound->getFormatName(), "PCM");
  ASSERT_NE(graph.getVideoInfo(), nullptr);

  ASSERT_TRUE(runToEnd(graph));
  graph.stop();
  EXPECT_EQ(video.count(), 20);
  // Every audio sample of the file, 2 s of 16-bit mono at 22050 Hz.
  EXPECT_EQ(audio.bytes, 2 * 22050 * 2);
}

TEST_F(FileGraphTest, FramesAndSamplesAreUnitsThePlatformRefuses) {
  RecordingCallback video;
  FileCaptureGraph graph(test::mediaPath("rgb24_160x120_10fps_20f.avi"));
  graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
  ASSERT_EQ(graph.render(false), S_OK);
  // Wine's filter graph answers frame and sample time formats with S_FALSE
  // and refuses to switch to them.
  EXPECT_THROW(graph.getDurationInFrames(), DurationUnsupportedException);
  EXPECT_THROW(graph.getDurationInSamples(), DurationUnsupportedException);
  EXPECT_THROW(graph.getPositionInFrames(), PositionUnsupportedException);
  EXPECT_THROW(graph.setPositionInFrames(3), PositionUnsupportedException);
  // The refusals left media time in place.
  EXPECT_NEAR(graph.getDurationInSeconds(), 2.0, 0.01);
}

// A position set before start is where delivery begins, also across reset.
TEST_F(FileGraphTest, ResetThenRenderReadsOnFromTheSavedPosition) {
  RecordingCallback video;
  FileCaptureGraph graph(test::mediaPath("rgb24_160x120_10fps_20f.avi"));
  graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
  ASSERT_EQ(graph.render(false), S_OK);
  graph.setPositionInSeconds(1.5);
  EXPECT_NEAR(graph.getPositionInSeconds(), 1.5, 0.001);
  graph.reset();
  EXPECT_FALSE(graph.isRendered());
  EXPECT_EQ(graph.getVideoInfo(), nullptr);

  ASSERT_EQ(graph.render(false), S_OK);
  EXPECT_NEAR(graph.getPositionInSeconds(), 1.5, 0.001);
  ASSERT_TRUE(runToEnd(graph));
  graph.stop();
  EXPECT_EQ(video.count(), 5);
}

TEST_F(FileGraphTest, AMissingDecoderIsNamedAndTheNameSurvivesReset) {
  FileCaptureGraph wave(test::mediaPath("tone_44100_1s.wav"));
  EXPECT_EQ(wave.render(false), E_UNEXPECTED);  // no callback: nothing to render
  EXPECT_EQ(wave.getMissingCodecName(), "Unknown Codec");

  RecordingCallback video;
  FileCaptureGraph graph(test::mediaPath("divx_160x120.avi"));
  EXPECT_EQ(graph.getMissingCodecName(), "Unknown Codec");
  graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
  EXPECT_LT(graph.render(false), 0);
  EXPECT_FALSE(graph.isRendered());
  EXPECT_EQ(graph.getMissingCodecName(), "DivX");
  graph.reset();
  EXPECT_EQ(graph.getMissingCodecName(), "DivX");
  // Wine's AVI splitter offers no type on its outputs, so not even the
  // file's own compressed frames connect without a decoder.
  graph.setVideoCallback(&video, static_cast<FileCaptureGraph::VideoFrameFormat>(7));
  EXPECT_LT(graph.render(false), 0);
  EXPECT_EQ(graph.getMissingCodecName(), "DivX");
  EXPECT_EQ(video.count(), 0);
}

TEST_F(FileGraphTest, DestroyingARunningGraphStopsItsCallbacks) {
  GuardedCallback video;
  {
    FileCaptureGraph graph(test::mediaPath("rgb24_320x240_25fps_50f.avi"));
    graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(graph.render(false), S_OK);
    ASSERT_EQ(graph.start(false), S_OK);
    video.samples.waitFor(1, 10s);
  }
  video.retired = true;
  // Another graph runs to its end meanwhile: had the first one left a
  // streaming thread behind, it would have called the retired callback.
  RecordingCallback other;
  FileCaptureGraph next(test::mediaPath("rgb24_160x120_10fps_20f.avi"));
  next.setVideoCallback(&other, FileCaptureGraph::FRAME_RGB24);
  ASSERT_EQ(next.render(false), S_OK);
  ASSERT_TRUE(runToEnd(next));
  next.stop();
  EXPECT_EQ(other.count(), 20);
}

TEST_F(FileGraphTest, ReplacingACallbackOnARunningGraphRetiresTheOldOne) {
  GuardedCallback first;
  RecordingCallback second;
  FileCaptureGraph graph(test::mediaPath("rgb24_160x120_10fps_20f.avi"));
  graph.setVideoCallback(&first, FileCaptureGraph::FRAME_RGB24);
  ASSERT_EQ(graph.render(false), S_OK);
  ASSERT_EQ(graph.start(false), S_OK);
  first.samples.waitFor(1, 10s);

  graph.setVideoCallback(&second, FileCaptureGraph::FRAME_RGB24);
  first.retired = true;
  EXPECT_FALSE(graph.isRendered());
  EXPECT_FALSE(graph.isRunning());
  ASSERT_EQ(graph.render(false), S_OK);
  ASSERT_TRUE(runToEnd(graph));
  graph.stop();
  EXPECT_GT(second.count(), 0);
}

}  // namespace
}  // namespace kivo
