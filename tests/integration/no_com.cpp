// A graph on a thread without COM fails with COM's status, then reads once the thread has COM.
// A program of its own: a thread without COM joins any multithreaded apartment of the process.

#include "file_host.h"

#include <optional>

namespace kivo::test {
namespace {

using namespace std::chrono_literals;

TEST_F(MediaTest, WithoutComAGraphFailsCleanlyAndWorksOnceComIsThere) {
  std::thread([] {
    std::optional<ComScope> com;  // declared first, so that COM outlives the graph
    RecordingCallback video;
    auto file = fileGraph(kTwentyFrames, &video);
    EXPECT_EQ(file->render(false), CO_E_NOTINITIALIZED);
    EXPECT_FALSE(file->isRendered());
    EXPECT_LT(file->start(false), 0);
    EXPECT_FALSE(file->isRunning());
    file->stop();
    file->reset();
    EXPECT_EQ(video.count(), 0);

    com.emplace();
    ASSERT_HRESULT_SUCCEEDED(com->status());
    file->setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(file->render(false), S_OK);
    ASSERT_EQ(file->start(false), S_OK);
    EXPECT_TRUE(video.samples.waitFor(20, 10s));
    file->stop();
  }).join();
}

}  // namespace
}  // namespace kivo::test
