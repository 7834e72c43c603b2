// A file graph on a thread without COM fails with the platform's status and renders once COM
// is there. COM is initialised only where a test says so.

#include "file_host.h"

#include <optional>

namespace kivo::test {
namespace {

using namespace std::chrono_literals;
using ComApartment = MediaTest;

TEST_F(ComApartment, RenderWithoutComFailsCleanlyAndSucceedsOnceComIsThere) {
  std::thread([] {
    // Declared first, so that COM outlives the graph's last release.
    std::optional<ComScope> com;
    RecordingCallback video;
    FileCaptureGraph graph(mediaPath(kTwentyFrames));
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
    EXPECT_TRUE(video.samples.waitFor(20, 10s));
    graph.stop();
  }).join();
}

TEST_F(ComApartment, AThreadWithoutComUsesTheProcessMultithreadedApartment) {
  // While another thread holds the multithreaded apartment open, a thread
  // without COM belongs to it implicitly, as on Windows.
  EventCounter entered, leave;
  std::thread holder([&] {
    ComScope com;
    entered.add();
    leave.waitFor(1, 30s);
  });
  ASSERT_TRUE(entered.waitFor(1, 10s));
  std::thread([] {
    RecordingCallback video;
    FileCaptureGraph graph(mediaPath(kTwentyFrames));
    graph.setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(graph.render(false), S_OK);
    ASSERT_EQ(graph.start(false), S_OK);
    EXPECT_TRUE(video.samples.waitFor(20, 10s));
    graph.stop();
  }).join();
  leave.add();
  holder.join();
}

}  // namespace
}  // namespace kivo::test
