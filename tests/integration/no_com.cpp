// Graphs on a thread that never initialised COM fail with COM's status and leave nothing
// behind; the same thread reads and captures once it has COM. A program of its own: a thread
// without COM joins a multithreaded apartment that another thread of the process holds open.

#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_capture_graph.h>

#include "file_host.h"

#include <cstring>
#include <optional>

namespace kivo::test {
namespace {

using namespace std::chrono_literals;

// Counts frames, and its own destruction by the device graph that owns it.
class Frames : public IMediaCB {
 public:
  explicit Frames(EventCounter& destroyed) : destroyed_(destroyed) {}
  long processSample(double, IMediaSample*) override { return frames.add(), S_OK; }
  EventCounter frames;

 protected:
  ~Frames() override { destroyed_.add(); }
  EventCounter& destroyed_;
};

TEST_F(MediaTest, WithoutComGraphsFailCleanlyAndWorkOnceComIsThere) {
  // Devices listed in a single-threaded apartment: no multithreaded one exists.
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  std::optional<FilterEnums> devices(std::in_place);
  VideoCaptureFilter* usb = nullptr;
  for (Filter* device : devices->getVideoDevices())
    if (std::strcmp(device->getName(), "KIVO Test Camera") == 0)
      usb = static_cast<VideoCaptureFilter*>(device);
  std::thread([usb] {
    std::optional<ComScope> com;  // declared first, so that COM outlives the graphs
    RecordingCallback video;
    auto file = fileGraph(kTwentyFrames, &video);
    EXPECT_EQ(file->render(false), CO_E_NOTINITIALIZED);
    EXPECT_FALSE(file->isRendered());
    EXPECT_LT(file->start(false), 0);
    file->stop();
    file->reset();
    EventCounter destroyed;
    if (usb) {
      auto* frames = new Frames(destroyed);
      std::optional<VideoCaptureGraph> device(std::in_place, usb, 0);
      device->setMediaCB(frames);
      EXPECT_EQ(device->render(false), CO_E_NOTINITIALIZED);
      EXPECT_EQ(device->start(false), CO_E_NOTINITIALIZED);
      EXPECT_FALSE(device->isRendered() || device->isRunning() || device->isDeviceLost() ||
                   device->getVideoCapabilities() != nullptr);
      EXPECT_EQ(device->stop(), S_OK);
      CMediaType type;
      EXPECT_EQ(device->getSampleGrabberMediaType(type), E_FAIL);
      EXPECT_EQ(frames->frames.count(), 0);
      device.reset();
      EXPECT_EQ(destroyed.count(), 1);  // the graph's destruction disposed of the callback
    }

    // The same file graph, and the same device, once the thread has COM.
    com.emplace();
    ASSERT_HRESULT_SUCCEEDED(com->status());
    file->setVideoCallback(&video, FileCaptureGraph::FRAME_RGB24);
    ASSERT_EQ(file->render(false), S_OK);
    ASSERT_EQ(file->start(false), S_OK);
    EXPECT_TRUE(video.samples.waitFor(20, 10s));
    file->stop();
    if (!usb) return;
    auto* frames = new Frames(destroyed);
    VideoCaptureGraph device(usb, 0);
    device.setMediaCB(frames);
    ASSERT_EQ(device.start(false), S_OK);
    EXPECT_TRUE(frames->frames.waitFor(2, 20s));
    EXPECT_EQ(device.stop(), S_OK);
  }).join();
  devices.reset();
  CoUninitialize();
  if (!usb) GTEST_SKIP() << "the KIVO Test Camera is not registered";
}

}  // namespace
}  // namespace kivo::test
