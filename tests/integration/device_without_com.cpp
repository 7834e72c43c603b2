// A device graph on a thread that never initialised COM fails with COM's status. A program of
// its own: a thread without COM would join a multithreaded apartment another test left behind.

#include <thread>

#include "video_capture_host.h"

namespace kivo::test {
namespace {

TEST(DeviceWithoutCom, RenderAndStartFailWithComNotInitialised) {
  // Listed in a single-threaded apartment: no multithreaded one exists.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ASSERT_TRUE(SUCCEEDED(com));
  {
    FilterEnums devices;
    VideoCaptureFilter* usb = findDevice(devices, kUsbCamera);
    if (!usb) {
      CoUninitialize();
      GTEST_SKIP() << "the KIVO Test Camera is not registered";
    }
    auto log = std::make_shared<FrameLog>();
    HRESULT rendered = S_OK, started = S_OK;
    bool anyState = true;
    std::thread worker([&] {
      VideoCaptureGraph graph(usb, 0);
      graph.setMediaCB(new FrameCollector(log));
      rendered = graph.render(false);
      started = graph.start(false);
      anyState = graph.isRendered() || graph.isRunning() || graph.isDeviceLost() ||
                 graph.getVideoCapabilities() != nullptr;
      EXPECT_EQ(graph.stop(), S_OK);
      CMediaType type;
      EXPECT_EQ(graph.getSampleGrabberMediaType(type), E_FAIL);
    });
    worker.join();
    EXPECT_EQ(rendered, CO_E_NOTINITIALIZED);
    EXPECT_EQ(started, CO_E_NOTINITIALIZED);
    EXPECT_FALSE(anyState);
    EXPECT_EQ(log->destroyed.count(), 1);  // the graph's destruction disposed of it
    EXPECT_EQ(log->frames.count(), 0);

    // The same device captures on a thread that initialised COM.
    std::thread healthy([&] {
      ComScope scope;
      ASSERT_TRUE(SUCCEEDED(scope.status()));
      auto frames = std::make_shared<FrameLog>();
      VideoCaptureGraph graph(usb, 0);
      graph.setMediaCB(new FrameCollector(frames));
      ASSERT_EQ(graph.start(false), S_OK);
      EXPECT_TRUE(frames->frames.waitFor(2, kFrameWait));
      EXPECT_EQ(graph.stop(), S_OK);
    });
    healthy.join();
  }
  CoUninitialize();
}

}  // namespace
}  // namespace kivo::test
