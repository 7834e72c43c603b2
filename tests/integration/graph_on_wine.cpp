// The graph core and the library's own filters on Wine's DirectShow: filters created from their
// class identifiers or refused with the library's exception, a rendered graph entered in the
// Running Object Table, and a whole life cycle that leaves no thread behind.

#include <kivo/dv_decoder.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/null_sink.h>
#include <kivo/video_sink.h>

#include "common/process_usage.h"
#include "file_host.h"
#include "support/running_objects.h"

#include <cwchar>
#include <string>

namespace kivo::test {
namespace {

using namespace std::chrono_literals;

// Reaches the constructor that creates a filter from any class identifier.
class ClassFilter : public Filter {
 public:
  ClassFilter(const char* name, const GUID& clsid) : Filter(name, clsid) {}
};

CLSID classOf(const Filter& filter) {
  CLSID clsid = GUID_NULL;
  if (filter.getInterface()) filter.getInterface()->GetClassID(&clsid);
  return clsid;
}

// The creation status shows in the message as "Error: 0x<status>".
std::string creationFailure(void (*create)()) {
  try {
    create();
  } catch (const FilterCreationException& e) {
    EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
    return e.getMessage();
  }
  return "created";
}

// How many graphs of this process the Running Object Table lists.
size_t graphsOfThisProcess() {
  wchar_t suffix[32];
  std::swprintf(suffix, 32, L" pid %08x", static_cast<unsigned>(GetCurrentProcessId()));
  const size_t suffixLength = std::wcslen(suffix);
  size_t count = 0;
  for (const std::wstring& name : runningObjectNames()) {
    if (name.rfind(L"!FilterGraph ", 0) == 0 && name.size() > suffixLength &&
        name.compare(name.size() - suffixLength, std::wstring::npos, suffix) == 0)
      ++count;
  }
  return count;
}

TEST(GraphOnWine, FiltersAreCreatedFromTheirClassesOrRefusedWithTheStatus) {
  ComScope com;
  NullSink null;
  EXPECT_STREQ(null.getName(), "KIVO Null Renderer");
  EXPECT_STREQ(null.getUniqueString(), "");  // no device, no path
  EXPECT_FALSE(null.isVFW());
  EXPECT_EQ(classOf(null), CLSID_NullRenderer);

  // Wine's video renderer opens its window on the X display the test run provides.
  VideoSink video;
  EXPECT_STREQ(video.getName(), "KIVO Video Renderer");
  EXPECT_EQ(classOf(video), CLSID_VideoRenderer);

  // Wine 8 has no DV video decoder; an unregistered class fails the same way.
  EXPECT_EQ(creationFailure([] { DVDecoder dv; }), "Error: 0x80040154");
  EXPECT_EQ(creationFailure([] {
              const GUID nowhere = {0x6b1f0e2a, 0x4c1d, 0x4e55, {0x9a, 1, 2, 3, 4, 5, 6, 7}};
              ClassFilter filter("nowhere", nowhere);
            }),
            "Error: 0x80040154");
}

TEST_F(MediaTest, ALifeCycleIsRegisteredWhileRenderedAndLeavesNothingBehind) {
  ComScope com;
  const size_t graphsBefore = graphsOfThisProcess();
  auto cycle = [&] {
    RecordingCallback callback;
    FileCaptureGraph graph(mediaPath(kTwentyFrames));
    graph.setVideoCallback(&callback, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(graph.render(true), S_OK);
    EXPECT_EQ(graphsOfThisProcess(), graphsBefore + 1);
    ASSERT_TRUE(runToEnd(graph));
    EXPECT_EQ(graph.stop(), S_OK);
    EXPECT_EQ(callback.count(), 20);
    graph.reset();
    EXPECT_EQ(graphsOfThisProcess(), graphsBefore);
  };
  cycle();  // Wine starts its shared worker threads on first use
  const long threads = tools::ProcessUsage::countThreads();
  cycle();
  // Streaming threads end when the graph is released; give them a bounded while to go.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (tools::ProcessUsage::countThreads() > threads &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  EXPECT_LE(tools::ProcessUsage::countThreads(), threads);
}

}  // namespace
}  // namespace kivo::test
