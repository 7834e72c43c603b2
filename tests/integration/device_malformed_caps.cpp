// A device reporting malformed formats between its working ones (KIVO_TESTCAM_MALFORMED_CAPS:
// short block, null block with a size, FORMAT_None, audio, 0x0 and 2147483647x2147483647)
// lists and captures its working formats as before. CTest runs it under Wine's heap checking.

#include "support/scoped_value.h"
#include "testcam_ids.h"
#include "video_capture_host.h"

namespace kivo::test {
namespace {

using MalformedCaps = TestCameraTest;

// The index at which the faulty device reports working format `position`:
// malformed and working formats alternate while both lists last.
int reportedIndex(int position) {
  return position < testcam::kMalformedCapsCount ? 2 * position + 1
                                                 : position + testcam::kMalformedCapsCount;
}

TEST_F(MalformedCaps, WorkingFormatsAreListedAsBeforeAndCapture) {
  std::vector<std::string> healthyNames;
  std::vector<int> healthyIds;
  {
    VideoCaptureGraph graph(usb_, 0);
    ASSERT_EQ(graph.render(false), S_OK);
    healthyNames = capabilityNames(graph);
    for (const VideoCapability& capability : graph.getVideoCapabilities()->getCapabilityList())
      healthyIds.push_back(capability.getCapabilityID());
  }
  ASSERT_EQ(healthyNames.size(), 9u);  // the VIDEOINFOHEADER2 format is not listed

  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph;
  {
    ScopedEnvironment malformed(testcam::kMalformedCapsVariable, L"1");
    graph = openGraph(kUsbCamera, log);
  }
  ASSERT_NE(graph, nullptr);
  ASSERT_EQ(graph->render(false), S_OK);

  // Of the malformed formats only the huge picture is well-formed; it comes
  // after working format 4, as reported.
  std::vector<std::string> expected = healthyNames;
  expected.insert(expected.begin() + 4, "YUY2_2147483647x2147483647");
  EXPECT_EQ(capabilityNames(*graph), expected);
  const std::vector<VideoCapability>& list = graph->getVideoCapabilities()->getCapabilityList();
  ASSERT_EQ(list.size(), expected.size());
  for (size_t i = 0, working = 0; i < list.size(); ++i) {
    if (i == 4) continue;
    SCOPED_TRACE(list[i].getFullName());
    EXPECT_EQ(list[i].getCapabilityID(), reportedIndex(healthyIds[working++]));
  }

  // A working format captures as on a healthy device.
  graph->setSelectedCapID(graph->lookupCapIDByName("YUY2_160x120"));
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_TRUE(log->frames.waitFor(3, kFrameWait));
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_EQ(connectedFormat(*graph).width, 160);
  for (long size : log->seen().sizes) EXPECT_EQ(size, 160 * 120 * 2);

  // The huge picture: the device refuses it (SetFormat fails) and keeps the
  // format it had, which the graph connects and runs.
  graph->setSelectedCapID(4);
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_EQ(connectedFormat(*graph).subtype, MEDIASUBTYPE_YUY2);
  EXPECT_EQ(connectedFormat(*graph).width, 160);
  EXPECT_EQ(graph->stop(), S_OK);
  graph->setSelectedCapID(graph->lookupCapIDByName("RGB24_160x120"));
  const long before = log->frames.count();
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_TRUE(log->frames.waitFor(before + 2, kFrameWait));
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_EQ(connectedFormat(*graph).subtype, MEDIASUBTYPE_RGB24);
}

}  // namespace
}  // namespace kivo::test
