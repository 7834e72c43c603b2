// A host reads media files through FileCaptureGraph on Wine's DirectShow, broken ones included.

#include <kivo/duration_unsupported_exception.h>
#include <kivo/dx_media_info.h>
#include <kivo/file_capture_graph.h>
#include <kivo/media_cb.h>
#include <kivo/position_unsupported_exception.h>

#include "support/media.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kivo::test {
namespace {

using namespace std::chrono_literals;

constexpr char kTwentyFrames[] = "rgb24_160x120_10fps_20f.avi";

class RecordingCallback : public IMediaCB {
 public:
  long processSample(double sampleTime, IMediaSample* sample) override {
    const long size = sample ? sample->GetActualDataLength() : -1;
    {
      std::lock_guard<std::mutex> lock(mutex);
      times.push_back(sampleTime), sizes.push_back(size);
      bytes += size > 0 ? size : 0;
    }
    samples.add();
    return S_OK;
  }
  long count() const { return samples.count(); }

  EventCounter samples;
  std::mutex mutex;
  std::vector<double> times;
  std::vector<long> sizes;
  long long bytes = 0;
};

// A graph on `file` with `callback` for its video.
std::unique_ptr<FileCaptureGraph> fileGraph(const std::string& file, IMediaCB* callback) {
  auto graph = std::make_unique<FileCaptureGraph>(mediaPath(file));
  graph->setVideoCallback(callback, FileCaptureGraph::FRAME_RGB24);
  return graph;
}

// Starts a rendered graph and waits, bounded, until it reports the end of the file.
bool runToEnd(FileCaptureGraph& graph) {
  if (FAILED(graph.start(false))) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!graph.isStreamFinished()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

class FileGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!mediaAvailable()) GTEST_SKIP() << "no test media (run through scripts/test.sh)";
  }
  ComScope com;
};

TEST_F(FileGraphTest, EveryFrameArrivesOnceInOrderWithTheFileFormatAndFromAPositionAfterReset) {
  RecordingCallback video;
  auto graph = fileGraph(kTwentyFrames, &video);
  EXPECT_EQ(graph->getVideoInfo(), nullptr);
  ASSERT_EQ(graph->render(false), S_OK);
  const DXMediaInfo* info = graph->getVideoInfo();
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->containsVideo());
  EXPECT_EQ(info->getVideoWidth(), 160);
  EXPECT_EQ(std::abs(info->getVideoHeight()), 120);
  EXPECT_EQ(info->getVideoBitDepth(), 24);
  EXPECT_NEAR(info->getAverageFrameRate(), 10.0, 0.01);
  EXPECT_EQ(info->getFormatName(), "RGB24");
  EXPECT_EQ(graph->getAudioInfo(), nullptr);
  // Wine's graph supports neither frame nor sample time formats; media time stays in place.
  EXPECT_THROW(graph->getDurationInFrames(), DurationUnsupportedException);
  EXPECT_THROW(graph->getPositionInFrames(), PositionUnsupportedException);
  EXPECT_NEAR(graph->getDurationInSeconds(), 2.0, 0.01);
  EXPECT_FALSE(graph->isStreamFinished());  // rendered, not running
  ASSERT_TRUE(runToEnd(*graph));
  ASSERT_EQ(graph->stop(), S_OK);
  EXPECT_FALSE(graph->isStreamFinished());
  ASSERT_EQ(video.count(), 20);
  for (size_t i = 0; i < video.sizes.size(); ++i) {
    EXPECT_EQ(video.sizes[i], 160 * 120 * 3) << "frame " << i;
    EXPECT_GT(video.times[i], i > 0 ? video.times[i - 1] : -1.0) << "frame " << i;
  }

  // A position set before start is where delivery begins, also across reset.
  graph->setPositionInSeconds(1.5);
  graph->reset();
  EXPECT_FALSE(graph->isRendered());
  EXPECT_EQ(graph->getVideoInfo(), nullptr);
  ASSERT_EQ(graph->render(false), S_OK);
  EXPECT_NEAR(graph->getPositionInSeconds(), 1.5, 0.001);
  ASSERT_TRUE(runToEnd(*graph));
  graph->stop();
  EXPECT_EQ(video.count(), 25);
}

TEST_F(FileGraphTest, VideoAndAudioStreamsReachTheirOwnCallbacks) {
  RecordingCallback video, audio;
  auto graph = fileGraph("rgb24_pcm_2s.avi", &video);
  graph->setAudioCallback(&audio, FileCaptureGraph::SAMPLE_PCM);
  ASSERT_EQ(graph->render(false), S_OK);
  const DXMediaInfo* sound = graph->getAudioInfo();
  ASSERT_NE(sound, nullptr);
  EXPECT_TRUE(sound->containsAudio());
  EXPECT_EQ(sound->getAudioSampleRate(), 22050);
  EXPECT_EQ(sound->getAudioBitDepth(), 16);
  EXPECT_EQ(sound->getAudioNumChannels(), 1);
  EXPECT_EQ(sound->getFormatName(), "PCM");
  ASSERT_NE(graph->getVideoInfo(), nullptr);
  ASSERT_TRUE(runToEnd(*graph));
  graph->stop();
  EXPECT_EQ(video.count(), 20);
  EXPECT_EQ(audio.bytes, 2 * 22050 * 2);  // every sample: 2 s of 16-bit mono at 22050 Hz
}

TEST_F(FileGraphTest, AMissingDecoderIsNamedAndTheNameSurvivesReset) {
  FileCaptureGraph wave(mediaPath("tone_44100_1s.wav"));
  EXPECT_EQ(wave.render(false), E_UNEXPECTED);  // no callback: nothing to render
  EXPECT_EQ(wave.getMissingCodecName(), "Unknown Codec");
  RecordingCallback video;
  FileCaptureGraph graph(mediaPath("divx_160x120.avi"));
  EXPECT_EQ(graph.getMissingCodecName(), "Unknown Codec");
  graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
  // Wine has no DivX decoder: the file's video does not connect.
  EXPECT_LT(graph.render(false), 0);
  EXPECT_FALSE(graph.isRendered());
  EXPECT_EQ(graph.getMissingCodecName(), "DivX");
  graph.reset();
  EXPECT_EQ(graph.getMissingCodecName(), "DivX");
  // Wine's AVI splitter offers no output type: not even the compressed frames connect.
  graph.setVideoCallback(&video, static_cast<FileCaptureGraph::VideoFrameFormat>(7));
  EXPECT_LT(graph.render(false), 0);
  EXPECT_EQ(graph.getMissingCodecName(), "DivX");
  FileCaptureGraph mpeg2(mediaPath("mpeg2_program.mpg"));  // Wine has no MPEG-2 decoder either
  mpeg2.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
  EXPECT_LT(mpeg2.render(false), 0);
  EXPECT_EQ(mpeg2.getMissingCodecName(), "MPEG-2");
  EXPECT_EQ(video.count(), 0);
}

// Runs `call` under a watchdog that names it and ends the program after 30 s.
template <class Call>
auto guarded(const std::string& what, Call call) {
  std::fprintf(stderr, "[file faults] %s\n", what.c_str());
  EventCounter done;
  std::thread watchdog([&] {
    if (done.waitFor(1, 30s)) return;
    std::fprintf(stderr, "[file faults] HANG: %s did not return within 30 s\n", what.c_str());
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
  });
  struct Finish {
    EventCounter& done;
    std::thread& watchdog;
    ~Finish() { done.add(), watchdog.join(); }
  } finish{done, watchdog};
  return call();
}

// The render status, and when it rendered, what was read to the end.
struct Outcome {
  long render = E_FAIL;
  std::string diagnosis;
  bool finished = false;
  long samples = 0;
  long long bytes = 0;
};

Outcome readFile(const std::string& name, bool video = true, const std::wstring& path = L"") {
  Outcome outcome;
  RecordingCallback callback;
  auto graph = guarded(name + ": construct", [&] {
    return std::make_unique<FileCaptureGraph>(path.empty() ? mediaPath(name) : path);
  });
  if (video) graph->setVideoCallback(&callback, FileCaptureGraph::FRAME_RGB24);
  if (!video) graph->setAudioCallback(&callback, FileCaptureGraph::SAMPLE_PCM);
  outcome.render = guarded(name + ": render", [&] { return graph->render(false); });
  if (SUCCEEDED(outcome.render)) {
    // Wine lets an open file go; Windows refuses with ERROR_SHARING_VIOLATION.
    if (!path.empty() && !DeleteFileW(path.c_str())) {
      EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    }
    outcome.finished = guarded(name + ": run", [&] { return runToEnd(*graph); });
    guarded(name + ": stop", [&] { return graph->stop(); });
  } else {
    EXPECT_FALSE(graph->isRendered());
    outcome.diagnosis = graph->getMissingCodecName();
  }
  guarded(name + ": destroy", [&] { return graph.reset(), 0; });
  outcome.samples = callback.count();
  outcome.bytes = callback.bytes;
  return outcome;
}

using FileFaultsTest = FileGraphTest;

void expectGoodFilesReadWhole() {
  const Outcome video = readFile(kTwentyFrames), audio = readFile("tone_44100_1s.wav", false);
  EXPECT_EQ(video.render, S_OK);
  EXPECT_TRUE(video.finished && audio.finished);
  EXPECT_EQ(video.samples, 20);
  EXPECT_EQ(audio.render, S_OK);
  EXPECT_EQ(audio.bytes, 44100 * 2);
}

// Unreadable files fail with a diagnosis; kivo refuses an AVI cut in its header (it hangs Wine).
TEST_F(FileFaultsTest, UnreadableFilesFailToRenderWithADiagnosis) {
  const std::pair<const char*, bool> files[] = {
      {"empty.avi", true},        {"random.avi", true},     {"a_folder.avi", true},
      {"no_such_file.avi", true}, {"deep_lists.avi", true}, {"truncated_header.avi", true},
      {"empty.wav", false},       {"random.wav", false},    {"truncated_header.wav", false},
      {"a_folder.avi", false}};
  for (const auto& [file, video] : files) {
    const Outcome outcome = readFile(file, video);
    EXPECT_LT(outcome.render, 0) << file;
    EXPECT_FALSE(outcome.diagnosis.empty()) << file;
    EXPECT_EQ(outcome.samples, 0) << file;
  }
  const Outcome cut = readFile("truncated_header.avi");
  EXPECT_EQ(cut.render, VFW_E_INVALID_FILE_FORMAT);
  EXPECT_EQ(cut.diagnosis, "Unknown Codec");
  expectGoodFilesReadWhole();
}

// Headers that lie about the body or its size: refused with a diagnosis, or read to an end.
// (Wine's splitter follows the chunks it finds, not the frame count the header declares.)
TEST_F(FileFaultsTest, LyingHeadersFailOrEnd) {
  const std::pair<const char*, bool> files[] = {
      {"rgb24_header_mjpg_body.avi", true}, {"huge_frame_count.avi", true},
      {"huge_frame_size.avi", true},        {"truncated.avi", true},
      {"huge_data_size.wav", false},        {"wrong_wave_format.wav", false},
      {"mp3_tag_pcm_body.wav", false},      {"truncated.wav", false}};
  for (const auto& [file, video] : files) {
    const Outcome outcome = readFile(file, video);
    EXPECT_NE(outcome.diagnosis.empty(), FAILED(outcome.render)) << file;
    EXPECT_TRUE(outcome.finished || outcome.samples == 0) << file;
    EXPECT_EQ(outcome.finished, SUCCEEDED(outcome.render)) << file;
  }
  expectGoodFilesReadWhole();
}

// An MJPG AVI whose frames hold no JPEG picture: Wine's parser would wait in render for ever (and
// a render given up on crashes the process at exit); kivo refuses it first.
TEST_F(FileFaultsTest, AnMjpgFileWithoutJpegPicturesIsRefused) {
  const Outcome outcome = readFile("mjpg_header_rgb24_body.avi");
  EXPECT_EQ(outcome.render, VFW_E_INVALID_FILE_FORMAT);
  EXPECT_EQ(readFile("mjpg_160x120.avi").render, S_OK);
}

// Long and non-ASCII paths open; a file deleted between render and start is read whole.
TEST_F(FileFaultsTest, LongNonAsciiAndDeletedPathsReadWhole) {
  std::string longName = "long_path";
  for (int i = 1; i <= 6; ++i)
    longName += "/folder_" + std::to_string(i) + "_with_a_rather_long_name_for_nesting_xxxxxxxx";
  longName += "/video_at_a_path_longer_than_max_path.avi";
  ASSERT_GT(mediaPath(longName).size(), size_t(MAX_PATH));
  const std::string deleted = "deleted_after_render_" + std::to_string(GetCurrentProcessId());
  const std::wstring copy = mediaPath(deleted + ".avi");
  ASSERT_TRUE(CopyFileW(mediaPath(kTwentyFrames).c_str(), copy.c_str(), FALSE));
  for (const auto& [name, path] :
       {std::pair(longName, std::wstring()),
        {"\xd0\xba\xd0\xb0\xd1\x82\xd0\xb0\xd0\xbb\xd0\xbe\xd0\xb3_\xe7\x9b\xae\xe5\xbd\x95/"
         "\xe6\x98\xa0\xe5\x83\x8f_\xd0\xba\xd0\xb0\xd0\xb4\xd1\x80_\xc3\x9f\xc3\xb8.avi",
         std::wstring()},
        {deleted, copy}}) {
    const Outcome outcome = readFile(name, true, path);
    EXPECT_EQ(outcome.render, S_OK) << name;
    EXPECT_TRUE(outcome.finished) << name;
    EXPECT_EQ(outcome.samples, 20) << name;
  }
  // Once the graph is gone the file can go.
  EXPECT_TRUE(DeleteFileW(copy.c_str()) ||
              GetFileAttributesW(copy.c_str()) == INVALID_FILE_ATTRIBUTES);
}

// Wine's graph takes any position, even outside the file, and reports it back; reading ends.
TEST_F(FileFaultsTest, PositionsOutsideTheFile) {
  for (double position : {100.0, -1.0, 1e300}) {
    RecordingCallback video;
    auto graph = fileGraph(kTwentyFrames, &video);
    ASSERT_EQ(graph->render(false), S_OK);
    EXPECT_NO_THROW(graph->setPositionInSeconds(position));
    if (position < 1e10) {
      EXPECT_NEAR(graph->getPositionInSeconds(), position, 0.001);
    }
    EXPECT_TRUE(guarded("position " + std::to_string(position), [&] { return runToEnd(*graph); }));
    graph->stop();
    EXPECT_LE(video.count(), 20) << position;
  }
}

}  // namespace
}  // namespace kivo::test
