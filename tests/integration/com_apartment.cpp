// A file graph on a thread without COM fails with the platform's status and
// renders once COM is there. COM is initialised only where a test says so.

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

template <class Body>
void onFreshThread(Body body) {
  std::thread(body).join();
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
  // While another thread holds the multithreaded apartment open, a thread
  // without COM belongs to it implicitly, as on Windows.
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
