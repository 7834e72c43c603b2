// FileCaptureGraph against broken, lying and unreachable files: a failing status with a
// diagnosis or a bounded read, never a crash or a hang, and the next good file reads whole.
// Calls that may hang run under a watchdog that names the call and ends the program.

#include <kivo/position_unsupported_exception.h>

#include "file_host.h"

#include <cstdio>
#include <memory>
#include <string>

namespace kivo::test {
namespace {

using namespace std::chrono_literals;

template <class Call>
auto guarded(const std::string& what, Call call) {
  std::fprintf(stderr, "[file_faults] %s\n", what.c_str());
  std::fflush(stderr);
  EventCounter done;
  std::thread watchdog([&] {
    if (done.waitFor(1, 30s)) return;
    std::fprintf(stderr, "[file_faults] HANG: %s did not return within 30 s\n", what.c_str());
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

const char* const kGoodVideo = kTwentyFrames;
const char* const kGoodAudio = "tone_44100_1s.wav";  // 44100 16-bit samples

bool runToEnd(FileCaptureGraph& graph, const std::string& name) {
  return guarded(name + ": run", [&] { return test::runToEnd(graph); });
}

class FileFaultsTest : public MediaTest {
 protected:
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
    RecordingCallback callback;
    {
      auto graph = guarded(name + ": construct", [&] {
        return std::unique_ptr<FileCaptureGraph>(new FileCaptureGraph(mediaPath(name)));
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

  ComScope com;
};

// Files nothing can be read from: render fails and names what it missed.
TEST_F(FileFaultsTest, UnreadableFilesFailToRenderWithADiagnosis) {
  const std::pair<const char*, bool> files[] = {
      {"empty.avi", true},        {"random.avi", true},     {"a_folder.avi", true},
      {"no_such_file.avi", true}, {"deep_lists.avi", true}, {"truncated_header.avi", true},
      {"empty.wav", false},       {"random.wav", false},    {"truncated_header.wav", false},
      {"a_folder.avi", false}};
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

// Wine 8: render of any MJPG AVI whose frames hold no decodable JPEG never returns: Wine's
// GStreamer parser waits in wg_parser_connect for caps the JPEG decoder never sets. A render
// bounded on a worker thread fails in time, but the stalled GStreamer threads then crash the
// process at exit, so kivo does not bound it. Windows' decoders fail such frames one by one.
// --gtest_also_run_disabled_tests shows the hang (the watchdog ends it after 30 s).
TEST_F(FileFaultsTest, DISABLED_FilesWhoseRenderHangsInWine) {
  const Outcome outcome = readFile("mjpg_header_rgb24_body.avi", true);
  EXPECT_TRUE(FAILED(outcome.render) ? !outcome.diagnosis.empty() : outcome.finished);
}

TEST_F(FileFaultsTest, LongAndNonAsciiPathsOpen) {
  std::string longName = "long_path";
  for (int i = 1; i <= 6; ++i)
    longName += "/folder_" + std::to_string(i) + "_with_a_rather_long_name_for_nesting_xxxxxxxx";
  longName += "/video_at_a_path_longer_than_max_path.avi";
  ASSERT_GT(mediaPath(longName).size(), static_cast<size_t>(MAX_PATH));
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
  const std::wstring path = mediaPath(name);
  ASSERT_TRUE(CopyFileW(mediaPath(kGoodVideo).c_str(), path.c_str(), FALSE));
  RecordingCallback video;
  {
    FileCaptureGraph graph(path);
    graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(guarded(name + ": render", [&] { return graph.render(false); }), S_OK);
    // Wine lets the open file go; Windows refuses with ERROR_SHARING_VIOLATION.
    if (!DeleteFileW(path.c_str())) {
      EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
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
  for (double position : {100.0, -1.0, 1e300}) {
    SCOPED_TRACE(position);
    RecordingCallback video;
    FileCaptureGraph graph(mediaPath(kGoodVideo));
    graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(graph.render(false), S_OK);
    EXPECT_NO_THROW(graph.setPositionInSeconds(position));
    const double now = graph.getPositionInSeconds();
    // Wine's graph takes any position, even outside the file, and reports it back; reading
    // from there still ends.
    if (position < 1e10) {
      EXPECT_NEAR(now, position, 0.001);
    }
    EXPECT_TRUE(runToEnd(graph, "position " + std::to_string(position)));
    graph.stop();
    EXPECT_LE(video.count(), 20);
  }
}

}  // namespace
}  // namespace kivo::test
