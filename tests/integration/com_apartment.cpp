// A host that forgets to initialise COM: kivo answers with the platform's
// status, and the same graph renders once COM is there.
//
// This program initialises COM only where a test says so, so that no
// apartment of the process makes an uninitialised thread work by accident.

#include <kivo/file_capture_graph.h>
#include <kivo/media_cb.h>

#include "support/media.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

namespace kivo {
namespace {

using namespace std::chrono_literals;

class CountingCallback : public IMediaCB {
 public:
  long processSample(double, IMediaSample*) override {
    frames.add();
    return S_OK;
  }
  test::EventCounter frames;
};

class ComApartment : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::mediaAvailable()) GTEST_SKIP() << "no test media (run through scripts/test.sh)";
  }
};

// Runs `body` on a thread of its own and waits for it.
template <class Body>
void onFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST_F(ComApartment, RenderWithoutComFailsCleanlyAndSucceedsOnceComIsThere) {
  onFreshThread([] {
    // Declared first, so that COM outlives the graph's last release.
    std::optional<test::ComScope> com;
    CountingCallback video;
    FileCaptureGraph graph(test::mediaPath("rgb24_160x120_10fps_20f.avi"));
    graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    EXPECT_EQ(graph.render(false), CO_E_NOTINITIALIZED);
    EXPECT_FALSE(graph.isRendered());
    EXPECT_LT(graph.start(false), 0);
    graph.stop();
    graph.reset();

    // The same graph object, once the thread has COM.
    com.emplace();
    ASSERT_HRESULT_SUCCEEDED(com->status());
    graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(graph.render(false), S_OK);
    ASSERT_EQ(graph.start(false), S_OK);
    EXPECT_TRUE(video.frames.waitFor(20, 10s));
    graph.stop();
  });
}

TEST_F(ComApartment, AThreadWithoutComUsesTheProcessMultithreadedApartment) {
  // Another thread holds the multithreaded apartment open; a thread that
  // never initialised COM then belongs to it implicitly, as on Windows.
  test::EventCounter entered, leave;
  std::thread holder([&] {
    test::ComScope com;
    entered.add();
    leave.waitFor(1, 30s);
  });
  ASSERT_TRUE(entered.waitFor(1, 10s));
  onFreshThread([] {
    CountingCallback video;
    FileCaptureGraph graph(test::mediaPath("rgb24_160x120_10fps_20f.avi"));
    graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(graph.render(false), S_OK);
    ASSERT_EQ(graph.start(false), S_OK);
    EXPECT_TRUE(video.frames.waitFor(20, 10s));
    graph.stop();
  });
  leave.add();
  holder.join();
}

}  // namespace
}  // namespace kivo
