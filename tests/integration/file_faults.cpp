// FileCaptureGraph against broken, lying and unreachable files: a failing
// status with a diagnosis or a bounded read, never a crash or a hang, and
// the next good file reads whole. Calls that may hang run under a watchdog
// that names the call and ends the program.

#include <kivo/dx_media_info.h>
#include <kivo/file_capture_graph.h>
#include <kivo/media_cb.h>
#include <kivo/position_unsupported_exception.h>

#include "support/media.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kivo {
namespace {

using namespace std::chrono_literals;

class Watchdog {
 public:
  Watchdog(std::string what, std::chrono::seconds bound) : what_(std::move(what)) {
    std::fprintf(stderr, "[file_faults] %s\n", what_.c_str());
    std::fflush(stderr);
    thread_ = std::thread([this, bound] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!done_.wait_for(lock, bound, [this] { return finished_; })) {
        std::fprintf(stderr, "[file_faults] HANG: %s did not return within %lld s\n", what_.c_str(),
                     static_cast<long long>(bound.count()));
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
      }
    });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    thread_.join();
  }

 private:
  std::string what_;
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

template <class Call>
auto guarded(const std::string& what, Call call, std::chrono::seconds bound = 30s) {
  Watchdog dog(what, bound);
  return call();
}

class CountingCallback : public IMediaCB {
 public:
  long processSample(double, IMediaSample* sample) override {
    bytes += sample ? sample->GetActualDataLength() : 0;
    samples.add();
    return S_OK;
  }
  long count() const { return samples.count(); }

  test::EventCounter samples;
  std::atomic<long long> bytes{0};
};

const char* const kGoodVideo = "rgb24_160x120_10fps_20f.avi";  // 20 frames
const char* const kGoodAudio = "tone_44100_1s.wav";            // 44100 16-bit samples

class FileFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::mediaAvailable()) GTEST_SKIP() << "no test media (run through scripts/test.sh)";
  }

  static bool runToEnd(FileCaptureGraph& graph, const std::string& name) {
    if (FAILED(guarded(name + ": start", [&] { return graph.start(false); }))) return false;
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!graph.isStreamFinished()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  }

  // The render status, and when it rendered, what was read to the end.
  struct Outcome {
    long render = E_FAIL;
    std::string diagnosis;
    bool finished = false;
    long samples = 0;
    long long bytes = 0;
  };

  static Outcome readFile(const std::string& name, bool video) {
    Outcome outcome;
    CountingCallback callback;
    {
      auto graph = guarded(name + ": construct", [&] {
        return std::unique_ptr<FileCaptureGraph>(new FileCaptureGraph(test::mediaPath(name)));
      });
      if (video)
        graph->setVideoCallback(&callback, FileCaptureGraph::FRAME_RGB24);
      else
        graph->setAudioCallback(&callback, FileCaptureGraph::SAMPLE_PCM);
      outcome.render = guarded(name + ": render", [&] { return graph->render(false); });
      if (SUCCEEDED(outcome.render)) {
        outcome.finished = runToEnd(*graph, name);
        guarded(name + ": stop", [&] { return graph->stop(); });
      } else {
        EXPECT_FALSE(graph->isRendered());
        outcome.diagnosis = graph->getMissingCodecName();
      }
      guarded(name + ": destroy", [&] {
        graph.reset();
        return 0;
      });
    }
    outcome.samples = callback.count();
    outcome.bytes = callback.bytes;
    std::fprintf(stderr, "[file_faults] %s: render 0x%08lx, diagnosis '%s', %ld samples\n",
                 name.c_str(), static_cast<unsigned long>(outcome.render),
                 outcome.diagnosis.c_str(), outcome.samples);
    return outcome;
  }

  static void expectGoodFilesReadWhole() {
    const Outcome video = readFile(kGoodVideo, true);
    EXPECT_EQ(video.render, S_OK);
    EXPECT_TRUE(video.finished);
    EXPECT_EQ(video.samples, 20);
    const Outcome audio = readFile(kGoodAudio, false);
    EXPECT_EQ(audio.render, S_OK);
    EXPECT_TRUE(audio.finished);
    EXPECT_EQ(audio.bytes, 44100 * 2);
  }

  test::ComScope com;
};

// Files nothing can be read from: render fails and names what it missed.
TEST_F(FileFaultsTest, UnreadableFilesFailToRenderWithADiagnosis) {
  const std::pair<const char*, bool> files[] = {
      {"empty.avi", true},
      {"random.avi", true},
      {"a_folder.avi", true},
      {"no_such_file.avi", true},
      {"deep_lists.avi", true},
      // Cut inside its header: refused before any parser sees it.
      {"truncated_header.avi", true},
      {"empty.wav", false},
      {"truncated_header.wav", false},
      {"random.wav", false},
      {"a_folder.avi", false},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.first);
    const Outcome outcome = readFile(file.first, file.second);
    EXPECT_LT(outcome.render, 0);
    EXPECT_FALSE(outcome.diagnosis.empty());
    EXPECT_EQ(outcome.samples, 0);
  }
  expectGoodFilesReadWhole();
}

// Headers that lie about the body or its size: either refused with a
// diagnosis, or read to an end that comes.
TEST_F(FileFaultsTest, LyingHeadersFailOrEnd) {
  const std::pair<const char*, bool> files[] = {
      {"rgb24_header_mjpg_body.avi", true}, {"huge_frame_count.avi", true},
      {"huge_frame_size.avi", true},        {"truncated.avi", true},
      {"huge_data_size.wav", false},        {"wrong_wave_format.wav", false},
      {"mp3_tag_pcm_body.wav", false},      {"truncated.wav", false},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.first);
    const Outcome outcome = readFile(file.first, file.second);
    if (FAILED(outcome.render)) {
      EXPECT_FALSE(outcome.diagnosis.empty());
      EXPECT_EQ(outcome.samples, 0);
    } else {
      // The splitter follows the chunks it finds, not the declared count:
      // the RGB24 header over MJPG chunks gives more frames than it states.
      EXPECT_TRUE(outcome.finished);
    }
  }
  expectGoodFilesReadWhole();
}

// Wine 8: render of this file never returns. Any MJPG AVI whose frames hold
// no decodable JPEG (zeros, random bytes, raw RGB rows, even a JPEG start
// marker followed by noise) does the same: the source's Connect into Wine's
// GStreamer parser waits in wg_parser_connect for the decoded stream's
// caps, which the JPEG decoder never sets before the end of the stream.
// Running that connection on a worker thread with a time-out was tried: the
// render then fails in time, but the stalled pipeline's GStreamer threads
// crash the process when it exits, so the bound gives nothing under Wine
// and kivo does not do it. Windows' decoders fail such frames one by one.
// The watchdog ends the program after 30 s and names the call. Run with
// --gtest_also_run_disabled_tests to see the hang.
TEST_F(FileFaultsTest, DISABLED_FilesWhoseRenderHangsInWine) {
  for (const char* name : {"mjpg_header_rgb24_body.avi"}) {
    SCOPED_TRACE(name);
    const Outcome outcome = readFile(name, true);
    if (FAILED(outcome.render))
      EXPECT_FALSE(outcome.diagnosis.empty());
    else
      EXPECT_TRUE(outcome.finished);
  }
}

TEST_F(FileFaultsTest, LongAndNonAsciiPathsOpen) {
  std::string longName = "long_path";
  for (int i = 1; i <= 6; ++i)
    longName += "/folder_" + std::to_string(i) + "_with_a_rather_long_name_for_nesting_xxxxxxxx";
  longName += "/video_at_a_path_longer_than_max_path.avi";
  ASSERT_GT(test::mediaPath(longName).size(), static_cast<size_t>(MAX_PATH));
  for (const std::string& name :
       {longName, std::string("\xd0\xba\xd0\xb0\xd1\x82\xd0\xb0\xd0\xbb\xd0\xbe\xd0\xb3_"
                              "\xe7\x9b\xae\xe5\xbd\x95/\xe6\x98\xa0\xe5\x83\x8f_\xd0\xba\xd0\xb0"
                              "\xd0\xb4\xd1\x80_\xc3\x9f\xc3\xb8.avi")}) {
    SCOPED_TRACE(name);
    const Outcome outcome = readFile(name, true);
    EXPECT_EQ(outcome.render, S_OK);
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.samples, 20);
  }
}

// The file goes away between render and start.
TEST_F(FileFaultsTest, AFileDeletedAfterRenderIsReadWhole) {
  const std::string name = "deleted_after_render_" + std::to_string(GetCurrentProcessId()) + ".avi";
  const std::wstring path = test::mediaPath(name);
  ASSERT_TRUE(CopyFileW(test::mediaPath(kGoodVideo).c_str(), path.c_str(), FALSE));
  CountingCallback video;
  {
    FileCaptureGraph graph(path);
    graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(guarded(name + ": render", [&] { return graph.render(false); }), S_OK);
    const BOOL deleted = DeleteFileW(path.c_str());
    const DWORD error = deleted ? 0 : GetLastError();
    std::fprintf(stderr, "[file_faults] DeleteFileW after render: %d (error %lu)\n", deleted,
                 static_cast<unsigned long>(error));
    // Wine lets the file go while the graph holds it open (Windows refuses
    // with ERROR_SHARING_VIOLATION); the open file is read whole either way.
    if (!deleted) {
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    EXPECT_TRUE(runToEnd(graph, name));
    guarded(name + ": stop", [&] { return graph.stop(); });
  }
  EXPECT_EQ(video.count(), 20);
  // Once the graph is gone the file can go.
  EXPECT_TRUE(DeleteFileW(path.c_str()) ||
              GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileFaultsTest, PositionsOutsideTheFile) {
  {
    FileCaptureGraph graph(test::mediaPath(kGoodVideo));  // nothing to position yet
    EXPECT_THROW(graph.setPositionInSeconds(1.0), PositionUnsupportedException);
    EXPECT_THROW(graph.getPositionInSeconds(), PositionUnsupportedException);
  }
  for (double position : {100.0, -1.0, 1e300}) {
    SCOPED_TRACE(position);
    CountingCallback video;
    FileCaptureGraph graph(test::mediaPath(kGoodVideo));
    graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(graph.render(false), S_OK);
    bool thrown = false;
    try {
      graph.setPositionInSeconds(position);
    } catch (const PositionUnsupportedException&) {
      thrown = true;
    }
    const double now = graph.getPositionInSeconds();
    // Wine's graph takes any position, even outside the file, and reports
    // it back; reading from there still ends.
    EXPECT_FALSE(thrown);
    if (position < 1e10) {
      EXPECT_NEAR(now, position, 0.001);
    }
    EXPECT_TRUE(runToEnd(graph, "position " + std::to_string(position)));
    graph.stop();
    EXPECT_LE(video.count(), 20);
  }
}

}  // namespace
}  // namespace kivo
