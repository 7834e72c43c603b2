// A host captures from the KIVO Test Camera through Wine's DirectShow: device list, formats by
// name, frame rates, properties, analog inputs.

#include <kivo/base_property.h>
#include <kivo/enum_property.h>
#include <kivo/video_inputs.h>

#include <numeric>

#include "video_capture_host.h"

namespace kivo::test {
namespace {

using DeviceCapture = TestCameraTest;

BaseProperty* property(const VideoCaptureGraph& graph, const char* name) {
  const std::map<std::string, BaseProperty*> container = graph.getPropertyContainer();
  auto found = container.find(name);
  return found == container.end() ? nullptr : found->second;
}

// The latest frame once a few more have arrived, so a change made now shows.
std::vector<BYTE> frameAfterChange(FrameLog& log) {
  const long now = log.frames.count();
  EXPECT_TRUE(log.frames.waitFor(now + 3, kFrameWait));
  return log.seen().lastFrame;
}

double meanLevel(const std::vector<BYTE>& frame) {
  if (frame.size() <= 4) return -1.0;  // the first 4 bytes are the counter
  return std::accumulate(frame.begin() + 4, frame.end(), 0.0) / (frame.size() - 4);
}

TEST_F(DeviceCapture, ListSelectByNameSetTheRateAndReceiveFramesUntilStop) {
  std::vector<std::string> names;
  for (Filter* device : devices_->getVideoDevices()) names.push_back(device->getName());
  // The broken entry and the unsupported DALSA source are skipped.
  EXPECT_THAT(names, ::testing::IsSupersetOf({kUsbCamera, kAnalogCamera}));
  EXPECT_THAT(names, ::testing::Not(::testing::Contains("DALSA Imaging Video Source")));
  EXPECT_THAT(names, ::testing::Not(::testing::Contains("KIVO Test Camera (Broken)")));
  EXPECT_TRUE(findDevice(*devices_, "KIVO Test Camera (VFW)")->isVFW());
  EXPECT_FALSE(usb_->isVFW());

  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(kUsbCamera, log);
  // No format list before the first render: nothing to set a rate on.
  EXPECT_EQ(graph->setFrameRate(333333, false), E_FAIL);
  ASSERT_EQ(graph->render(false), S_OK);
  // Pin order; the pin's second format (a VIDEOINFOHEADER2 block) is not listed.
  EXPECT_EQ(capabilityNames(*graph),
            (std::vector<std::string>{"YUY2_640x480", "YUY2_320x240", "YUY2_160x120",
                                      "RGB24_640x480", "RGB24_160x120", "RGB32_320x240",
                                      "I420_320x240", "NV12_320x240", "MJPG_1280x720"}));
  EXPECT_EQ(graph->getVideoCapabilities()->getCapabilityList()[1].getCapabilityID(), 2);
  ASSERT_EQ(graph->getFrameRates().size(), 2u);  // of position 0, fastest first
  EXPECT_EQ(graph->getFrameRates().begin()->second, 333333);
  EXPECT_EQ(graph->getVideoInputs()->getNumberOfInputs(), 0u);  // no crossbar on USB
  // A "Mode" companion exists exactly where the device offers both auto and manual control.
  for (const std::string name : {"Exposure", "Focus", "Contrast", "WhiteBalance"})
    EXPECT_NE(property(*graph, (name + "Mode").c_str()), nullptr) << name;
  for (const std::string name : {"Zoom", "Brightness", "Gain"}) {
    EXPECT_NE(property(*graph, name.c_str()), nullptr) << name;
    EXPECT_EQ(property(*graph, (name + "Mode").c_str()), nullptr) << name;
  }

  const int position = graph->lookupCapIDByName("YUY2_320x240");
  EXPECT_EQ(position, 1);
  graph->setSelectedCapID(position);
  EXPECT_EQ(graph->setFrameRate(400000, true), E_FAIL);  // 25 fps is not offered
  ASSERT_EQ(graph->setFrameRate(666666, true), S_OK);    // 15 fps
  ASSERT_EQ(graph->start(false), S_OK);
  EXPECT_TRUE(graph->isRunning());
  ASSERT_TRUE(log->frames.waitFor(10, kFrameWait)) << log->frames.count() << " frames";
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_FALSE(graph->isRunning());
  const long stopped = log->frames.count();

  const Connected connected = connectedFormat(*graph);
  EXPECT_EQ(connected.subtype, MEDIASUBTYPE_YUY2);
  EXPECT_EQ(connected.width, 320);
  EXPECT_EQ(connected.height, 240);
  EXPECT_EQ(connected.interval, 666666);
  for (long size : log->seen().sizes) EXPECT_EQ(size, 320 * 240 * 2);
  const std::vector<uint32_t> counters = log->seen().counters;
  for (size_t i = 1; i < counters.size(); ++i) EXPECT_EQ(counters[i], counters[i - 1] + 1);
  // Stamped by the graph's clock as a live camera does: on average the set 15 frames per second.
  const std::vector<double> times = log->seen().times;
  ASSERT_GE(times.size(), 10u);
  const double mean = (times.back() - times.front()) / static_cast<double>(times.size() - 1);
  EXPECT_NEAR(mean, 0.0666666, 0.01);
  EXPECT_EQ(log->frames.count(), stopped);

  // A rate set on a running graph restarts it at once.
  ASSERT_EQ(graph->start(false), S_OK);
  ASSERT_EQ(graph->setFrameRate(333333, false), S_OK);
  EXPECT_TRUE(graph->isRunning());
  frameAfterChange(*log);
  EXPECT_EQ(graph->stop(), S_OK);

  // Wine has no MJPG to RGB24 decoder: the host receives the JPEG frames.
  graph->setSelectedCapID(graph->lookupCapIDByName("MJPG_1280x720"));
  ASSERT_EQ(graph->start(false), S_OK);
  const std::vector<BYTE> jpeg = frameAfterChange(*log);
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_EQ(connectedFormat(*graph).subtype, MEDIASUBTYPE_MJPG);
  ASSERT_GE(jpeg.size(), 2u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);

  // Brightness set while running shows in the delivered pixels.
  EXPECT_EQ(property(*graph, "Gamma"), nullptr);  // not offered by the device
  BaseProperty* brightness = property(*graph, "Brightness");
  ASSERT_NE(brightness, nullptr);
  graph->setSelectedCapID(graph->lookupCapIDByName("RGB24_160x120"));
  ASSERT_EQ(graph->start(false), S_OK);
  long value = 40;
  ASSERT_EQ(brightness->setValue(&value), S_OK);
  const double dark = meanLevel(frameAfterChange(*log));
  value = 220;
  ASSERT_EQ(brightness->setValue(&value), S_OK);
  const double bright = meanLevel(frameAfterChange(*log));
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_GT(bright, dark + 20.0) << "mean level " << dark << " at 40, " << bright << " at 220";

  graph->reset();
  EXPECT_FALSE(graph->isRendered());
  EXPECT_EQ(graph->getVideoCapabilities(), nullptr);
  EXPECT_EQ(graph->getVideoInputs(), nullptr);
  EXPECT_TRUE(graph->getFrameRates().empty());
  EXPECT_TRUE(graph->getPropertyContainer().empty());
  EXPECT_EQ(graph->getMediaCB(), nullptr);
  EXPECT_EQ(log->destroyed.count(), 1);
}

TEST_F(DeviceCapture, AnalogInputsAreListedAndRoutingChangesThePicture) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(kAnalogCamera, log);
  ASSERT_NE(graph, nullptr);
  ASSERT_EQ(graph->render(false), S_OK);
  const std::map<std::string, long> inputs = graph->getVideoInputs()->getInputs();
  for (const char* name : {"composite", "svideo", "tuner"})
    EXPECT_EQ(inputs.count(name), 1u) << name;

  std::vector<std::vector<BYTE>> pictures;
  for (const char* name : {"composite", "svideo"}) {
    SCOPED_TRACE(name);
    // Applied again at every render, so it outlives the rebuild that start performs.
    graph->getVideoInputs()->setSelectedInput(inputs.at(name));
    ASSERT_EQ(graph->start(false), S_OK);
    EXPECT_EQ(graph->getVideoInputs()->getSelectedInput(), inputs.at(name));
    pictures.push_back(frameAfterChange(*log));
    EXPECT_EQ(graph->stop(), S_OK);
  }
  ASSERT_EQ(pictures[0].size(), pictures[1].size());
  ASSERT_GT(pictures[0].size(), 4u);
  EXPECT_FALSE(std::equal(pictures[0].begin() + 4, pictures[0].end(), pictures[1].begin() + 4));

  auto* standard = dynamic_cast<IEnumProperty*>(property(*graph, "AnalogVideoFormat"));
  ASSERT_NE(standard, nullptr);
  long pal = 0x10, now = 0;
  EXPECT_EQ(standard->setValue(&pal), S_OK);
  EXPECT_EQ(standard->getValue(&now), S_OK);
  EXPECT_EQ(now, 0x10);
}

}  // namespace
}  // namespace kivo::test
