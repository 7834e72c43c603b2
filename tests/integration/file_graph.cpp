// A host reading media files through FileCaptureGraph on Wine's DirectShow.

#include <kivo/duration_unsupported_exception.h>
#include <kivo/dx_media_info.h>
#include <kivo/position_unsupported_exception.h>

#include "file_host.h"

#include <atomic>

namespace kivo::test {
namespace {

using namespace std::chrono_literals;

// Fails the test when called after it was retired.
class GuardedCallback : public RecordingCallback {
 public:
  long processSample(double t, IMediaSample* s) override {
    EXPECT_FALSE(retired.load()) << "a retired callback was called";
    return RecordingCallback::processSample(t, s);
  }
  std::atomic<bool> retired{false};
};

class FileGraphTest : public MediaTest {
 protected:
  ComScope com;
};

TEST_F(FileGraphTest, EveryFrameArrivesOnceInOrderWithTheFileFormat) {
  RecordingCallback video;
  {
    FileCaptureGraph graph(mediaPath(kTwentyFrames));
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
    // Wine's filter graph answers frame and sample time formats with S_FALSE and refuses to
    // switch to them; the refusals leave media time in place.
    EXPECT_THROW(graph.getDurationInFrames(), DurationUnsupportedException);
    EXPECT_THROW(graph.getDurationInSamples(), DurationUnsupportedException);
    EXPECT_THROW(graph.getPositionInFrames(), PositionUnsupportedException);
    EXPECT_THROW(graph.setPositionInFrames(3), PositionUnsupportedException);
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
  FileCaptureGraph graph(mediaPath("rgb24_pcm_2s.avi"));
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

  // Only an audio callback: the AVI's video is left unrendered, and a WAV file reads whole.
  for (const char* file : {"rgb24_pcm_2s.avi", "tone_44100_1s.wav"}) {
    SCOPED_TRACE(file);
    RecordingCallback sound;
    FileCaptureGraph audioOnly(mediaPath(file));
    audioOnly.setAudioCallback(&sound, FileCaptureGraph::SAMPLE_PCM);
    ASSERT_EQ(audioOnly.render(false), S_OK);
    EXPECT_EQ(audioOnly.getVideoInfo(), nullptr);
    ASSERT_NE(audioOnly.getAudioInfo(), nullptr);
    const long rate = audioOnly.getAudioInfo()->getAudioSampleRate();
    ASSERT_TRUE(runToEnd(audioOnly));
    audioOnly.stop();
    EXPECT_EQ(sound.bytes,
              static_cast<long long>(audioOnly.getDurationInSeconds() * rate + 0.5) * 2);
  }
}

// A position set before start is where delivery begins, also across reset.
TEST_F(FileGraphTest, ResetThenRenderReadsOnFromTheSavedPosition) {
  RecordingCallback video;
  FileCaptureGraph graph(mediaPath(kTwentyFrames));
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
  FileCaptureGraph wave(mediaPath("tone_44100_1s.wav"));
  EXPECT_EQ(wave.render(false), E_UNEXPECTED);  // no callback: nothing to render
  EXPECT_EQ(wave.getMissingCodecName(), "Unknown Codec");

  RecordingCallback video;
  FileCaptureGraph graph(mediaPath("divx_160x120.avi"));
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

TEST_F(FileGraphTest, ReplacedCallbacksAndDestroyedGraphsAreNeverCalledAgain) {
  GuardedCallback first, second;
  {
    FileCaptureGraph graph(mediaPath("rgb24_320x240_25fps_50f.avi"));
    graph.setVideoCallback(&first, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(graph.render(false), S_OK);
    ASSERT_EQ(graph.start(false), S_OK);
    ASSERT_TRUE(first.samples.waitFor(1, 10s));
    // Replaced on a running graph: the graph is taken down and must be rendered again.
    graph.setVideoCallback(&second, FileCaptureGraph::FRAME_RGB24);
    first.retired = true;
    EXPECT_FALSE(graph.isRendered());
    EXPECT_FALSE(graph.isRunning());
    ASSERT_EQ(graph.render(false), S_OK);
    ASSERT_EQ(graph.start(false), S_OK);
    EXPECT_TRUE(second.samples.waitFor(1, 10s));
  }  // destroyed while running
  second.retired = true;
  // Another graph runs to its end: a streaming thread left behind would call a retired callback.
  RecordingCallback other;
  FileCaptureGraph next(mediaPath(kTwentyFrames));
  next.setVideoCallback(&other, FileCaptureGraph::FRAME_RGB24);
  ASSERT_EQ(next.render(false), S_OK);
  ASSERT_TRUE(runToEnd(next));
  next.stop();
  EXPECT_EQ(other.count(), 20);
}

}  // namespace
}  // namespace kivo::test
