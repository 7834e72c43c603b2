// Devices with unusual names: a friendly name that is not ASCII reaches the
// host as UTF-8 and its device captures; an empty "DevicePath" is reported
// as an empty unique string.

#include "testcam_ids.h"
#include "video_capture_host.h"

namespace kivo::test {
namespace {

using DeviceNames = TestCameraTest;

TEST_F(DeviceNames, NonAsciiNamesArriveAsUtf8AndEmptyPathsAsEmpty) {
  VideoCaptureFilter* nonAscii = findDevice(*devices_, testcam::kNonAsciiCameraUtf8Name);
  ASSERT_NE(nonAscii, nullptr);
  EXPECT_EQ(std::string(nonAscii->getUniqueString()),
            std::string("\\\\?\\root#image#0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}"
                        "\\kivo-testcam-5"));
  VideoCaptureFilter* noPath = findDevice(*devices_, "KIVO Test Camera (No Path)");
  ASSERT_NE(noPath, nullptr);
  EXPECT_STREQ(noPath->getUniqueString(), "");
  // Every listed name is valid UTF-8 that converts back to a name.
  for (Filter* device : devices_->getVideoDevices()) {
    const std::string name = device->getName();
    EXPECT_FALSE(name.empty());
    EXPECT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.c_str(), -1, nullptr, 0), 0)
        << name;
  }
}

TEST_F(DeviceNames, DevicesWithUnusualNamesCapture) {
  for (const char* name : {testcam::kNonAsciiCameraUtf8Name, "KIVO Test Camera (No Path)"}) {
    SCOPED_TRACE(name);
    auto log = std::make_shared<FrameLog>();
    std::unique_ptr<VideoCaptureGraph> graph = openGraph(name, log);
    ASSERT_NE(graph, nullptr);
    ASSERT_EQ(graph->render(false), S_OK);
    EXPECT_EQ(capabilityNames(*graph), std::vector<std::string>{"RGB24_320x240"});
    ASSERT_EQ(graph->start(false), S_OK);
    EXPECT_TRUE(log->frames.waitFor(3, kFrameWait));
    EXPECT_EQ(graph->stop(), S_OK);
    EXPECT_EQ(log->seen().sizes.front(), 320 * 240 * 3);
  }
}

}  // namespace
}  // namespace kivo::test
