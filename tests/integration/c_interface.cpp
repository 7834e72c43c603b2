// The C interface with a C++ host's habits: callbacks that throw, callbacks
// replaced while frames arrive, threads that each read their own errors.

#include <kivo/kivo_c.h>
#include <kivo/platform.h>

#include <gtest/gtest.h>

#include "support/media.h"
#include "support/wait.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using std::chrono::seconds;

struct Frames {
  kivo::test::EventCounter received;
};

void KIVO_CALL countThenThrow(void* context, const kivo_frame*) {
  static_cast<Frames*>(context)->received.add();
  throw std::runtime_error("a host callback that throws");
}

void KIVO_CALL count(void* context, const kivo_frame*) {
  static_cast<Frames*>(context)->received.add();
}

kivo_device_graph* openTestCamera() {
  kivo_device_list* list = nullptr;
  kivo_device_graph* graph = nullptr;
  EXPECT_EQ(kivo_device_list_create(&list), KIVO_OK);
  size_t devices = 0;
  kivo_device_list_count(list, &devices);
  for (size_t i = 0; i < devices && !graph; ++i) {
    kivo_device_info device{};
    if (kivo_device_list_get(list, i, &device) == KIVO_OK &&
        std::strcmp(device.name, "KIVO Test Camera") == 0) {
      EXPECT_EQ(kivo_device_graph_open(list, i, KIVO_RENDER_NULL, &graph), KIVO_OK);
    }
  }
  kivo_device_list_destroy(list);
  return graph;
}

// A throwing callback neither ends the stream nor reaches the host's call.
TEST(CInterface, CallbacksThatThrowKeepTheStreamGoing) {
  kivo::test::ComScope com;
  kivo_device_graph* graph = openTestCamera();
  ASSERT_NE(graph, nullptr);
  Frames frames;
  ASSERT_EQ(kivo_device_graph_set_callback(graph, countThenThrow, &frames), KIVO_OK);
  ASSERT_EQ(kivo_device_graph_start(graph, 0), KIVO_OK);
  EXPECT_TRUE(frames.received.waitFor(5, seconds(10)));
  EXPECT_EQ(kivo_device_graph_stop(graph), KIVO_OK);
  EXPECT_EQ(kivo_device_graph_destroy(graph), KIVO_OK);

  if (!kivo::test::mediaAvailable()) GTEST_SKIP() << "KIVO_TEST_MEDIA not set";
  const std::wstring path = kivo::test::mediaPath("rgb24_160x120_10fps_20f.avi");
  kivo_file_graph* file = nullptr;
  ASSERT_EQ(kivo_file_graph_open(std::string(path.begin(), path.end()).c_str(), &file), KIVO_OK);
  Frames fileFrames;
  ASSERT_EQ(kivo_file_graph_set_video_callback(file, countThenThrow, &fileFrames, KIVO_VIDEO_ANY),
            KIVO_OK);
  ASSERT_EQ(kivo_file_graph_render(file, 0), KIVO_OK);
  ASSERT_EQ(kivo_file_graph_start(file, 0), KIVO_OK);
  EXPECT_TRUE(fileFrames.received.waitFor(20, seconds(10)));
  EXPECT_EQ(kivo_file_graph_destroy(file), KIVO_OK);
}

// Once set_callback returns, the replaced function gets no more frames.
TEST(CInterface, AReplacedCallbackIsNotCalledAgain) {
  kivo::test::ComScope com;
  kivo_device_graph* graph = openTestCamera();
  ASSERT_NE(graph, nullptr);
  Frames first, second;
  ASSERT_EQ(kivo_device_graph_set_callback(graph, count, &first), KIVO_OK);
  ASSERT_EQ(kivo_device_graph_start(graph, 0), KIVO_OK);
  ASSERT_TRUE(first.received.waitFor(3, seconds(10)));
  ASSERT_EQ(kivo_device_graph_set_callback(graph, count, &second), KIVO_OK);
  const long firstTotal = first.received.count();
  EXPECT_TRUE(second.received.waitFor(3, seconds(10)));
  EXPECT_EQ(first.received.count(), firstTotal);
  EXPECT_EQ(kivo_device_graph_destroy(graph), KIVO_OK);  // stops a running graph
}

// Each thread reads the error of its own last call.
TEST(CInterface, TheLastErrorBelongsToTheThread) {
  EXPECT_EQ(kivo_device_list_count(nullptr, nullptr), KIVO_E_HANDLE);
  std::string otherThreadsError;
  std::thread other([&] {
    otherThreadsError = kivo_last_error();  // nothing failed on this thread yet
    kivo_file_graph_stop(nullptr);
    otherThreadsError += kivo_last_error();
  });
  other.join();
  EXPECT_EQ(otherThreadsError.rfind("kivo_file_graph_stop: ", 0), 0u) << otherThreadsError;
  EXPECT_EQ(std::string(kivo_last_error()).rfind("kivo_device_list_count: ", 0), 0u);
}

}  // namespace
