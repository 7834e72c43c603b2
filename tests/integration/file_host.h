#pragma once

// The file graph tests' recording callback, bounded run to the end, and fixture that needs media.

#include <kivo/file_capture_graph.h>
#include <kivo/media_cb.h>

#include "support/media.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace kivo::test {

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

// A graph on `file` with `callback` for its video (or its audio).
inline std::unique_ptr<FileCaptureGraph> fileGraph(const std::string& file, IMediaCB* callback,
                                                   bool video = true) {
  auto graph = std::make_unique<FileCaptureGraph>(mediaPath(file));
  if (video) graph->setVideoCallback(callback, FileCaptureGraph::FRAME_RGB24);
  if (!video) graph->setAudioCallback(callback, FileCaptureGraph::SAMPLE_PCM);
  return graph;
}

// Starts a rendered graph and waits, bounded, until it reports the end of the file.
inline bool runToEnd(FileCaptureGraph& graph) {
  if (FAILED(graph.start(false))) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!graph.isStreamFinished()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

class MediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!mediaAvailable()) GTEST_SKIP() << "no test media (run through scripts/test.sh)";
  }
};

}  // namespace kivo::test
