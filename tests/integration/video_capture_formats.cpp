// A host opens the KIVO Test Camera: device list, format list, selection by
// name, frame rates and reset, against Wine's DirectShow.

#include <kivo/base_property.h>
#include <kivo/video_inputs.h>

#include "video_capture_host.h"

namespace kivo::test {
namespace {

using Formats = TestCameraTest;

TEST_F(Formats, DeviceListShowsTheTestCamerasButNotUnsupportedOrBrokenOnes) {
  std::vector<std::string> names;
  for (Filter* device : devices_->getVideoDevices()) names.push_back(device->getName());
  EXPECT_THAT(names, ::testing::IsSupersetOf({kUsbCamera, kAnalogCamera, kVfwCamera}));
  EXPECT_THAT(names, ::testing::Not(::testing::Contains("DALSA Imaging Video Source")));
  EXPECT_THAT(names, ::testing::Not(::testing::Contains("KIVO Test Camera (Broken)")));
  EXPECT_TRUE(findDevice(*devices_, kVfwCamera)->isVFW());
  EXPECT_FALSE(usb_->isVFW());
}

TEST_F(Formats, FirstRenderListsTheFormatsInPinOrderAndTheRatesOfTheFirst) {
  VideoCaptureGraph graph(usb_, 0);
  ASSERT_EQ(graph.render(false), S_OK);
  // The pin's second format has a VIDEOINFOHEADER2 block: it is not listed.
  EXPECT_EQ(capabilityNames(graph),
            (std::vector<std::string>{"YUY2_640x480", "YUY2_320x240", "YUY2_160x120",
                                      "RGB24_640x480", "RGB24_160x120", "RGB32_320x240",
                                      "I420_320x240", "NV12_320x240", "MJPG_1280x720"}));
  const std::vector<VideoCapability>& list = graph.getVideoCapabilities()->getCapabilityList();
  EXPECT_EQ(list[1].getCapabilityID(), 2);

  // Position 0 is selected: its rates, fastest first.
  std::vector<std::pair<double, LONGLONG>> rates(graph.getFrameRates().begin(),
                                                 graph.getFrameRates().end());
  ASSERT_EQ(rates.size(), 2u);
  EXPECT_EQ(rates[0].second, 333333);
  EXPECT_DOUBLE_EQ(rates[0].first, 10000000.0 / 333333);
  EXPECT_EQ(rates[1].second, 666666);

  const Connected connected = connectedFormat(graph);
  EXPECT_EQ(connected.subtype, MEDIASUBTYPE_YUY2);
  EXPECT_EQ(connected.width, 640);
  EXPECT_EQ(connected.height, 480);

  // A USB camera has no crossbar: the inputs exist and are empty.
  ASSERT_NE(graph.getVideoInputs(), nullptr);
  EXPECT_EQ(graph.getVideoInputs()->getNumberOfInputs(), 0u);
  EXPECT_FALSE(graph.getPropertyContainer().empty());
}

TEST_F(Formats, SelectionByNameTakesEffectAtTheNextRender) {
  VideoCaptureGraph graph(usb_, 0);
  ASSERT_EQ(graph.render(false), S_OK);
  const int position = graph.lookupCapIDByName("RGB24_160x120");
  EXPECT_EQ(position, 4);

  graph.setSelectedCapID(position);
  EXPECT_EQ(graph.getFrameRates().size(), 3u);  // 30, 15 and 5 frames per second
  EXPECT_EQ(graph.getFrameRates().rbegin()->second, 2000000);

  // A rendered graph keeps its connection until it is rendered anew.
  EXPECT_EQ(connectedFormat(graph).subtype, MEDIASUBTYPE_YUY2);
  ASSERT_EQ(graph.start(false), S_OK);
  const Connected connected = connectedFormat(graph);
  EXPECT_EQ(connected.subtype, MEDIASUBTYPE_RGB24);
  EXPECT_EQ(connected.width, 160);
  EXPECT_EQ(connected.height, 120);
  EXPECT_EQ(graph.stop(), S_OK);
}

TEST_F(Formats, PositionsOutsideTheListAreRefused) {
  VideoCaptureGraph graph(usb_, 0);
  ASSERT_EQ(graph.render(false), S_OK);
  graph.setSelectedCapID(graph.lookupCapIDByName("YUY2_320x240"));
  const VideoCaptureGraph::FrameRateMap before = graph.getFrameRates();
  ASSERT_EQ(before.size(), 3u);

  graph.setSelectedCapID(9);  // one past the end
  graph.setSelectedCapID(-2);
  EXPECT_EQ(graph.getFrameRates(), before);
  ASSERT_EQ(graph.start(false), S_OK);
  EXPECT_EQ(connectedFormat(graph).width, 320);
  EXPECT_EQ(graph.stop(), S_OK);

  // -1 is "no selection": no rates, no rate to set, the device's own format.
  graph.setSelectedCapID(-1);
  EXPECT_TRUE(graph.getFrameRates().empty());
  EXPECT_EQ(graph.setFrameRate(333333, false), E_FAIL);
  EXPECT_EQ(graph.start(false), S_OK);
  EXPECT_EQ(graph.stop(), S_OK);
}

TEST_F(Formats, FrameRatesAreValidatedAgainstTheList) {
  VideoCaptureGraph graph(usb_, 0);
  ASSERT_EQ(graph.render(false), S_OK);
  EXPECT_EQ(graph.setFrameRate(400000, true), E_FAIL);  // 25 fps is not offered
  EXPECT_EQ(graph.setFrameRate(666666, true), S_OK);
  ASSERT_EQ(graph.start(false), S_OK);
  EXPECT_EQ(connectedFormat(graph).interval, 666666);
  EXPECT_EQ(graph.stop(), S_OK);
}

TEST_F(Formats, ResetDiscardsFormatsInputsRatesPropertiesAndTheCallback) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(kUsbCamera, log);
  ASSERT_EQ(graph->render(false), S_OK);
  graph->setSelectedCapID(2);
  ASSERT_NE(graph->getVideoCapabilities(), nullptr);

  graph->reset();
  EXPECT_FALSE(graph->isRendered());
  EXPECT_EQ(graph->getVideoCapabilities(), nullptr);
  EXPECT_EQ(graph->getVideoInputs(), nullptr);
  EXPECT_TRUE(graph->getFrameRates().empty());
  EXPECT_TRUE(graph->getPropertyContainer().empty());
  EXPECT_EQ(graph->getMediaCB(), nullptr);
  EXPECT_EQ(log->destroyed.count(), 1);
  EXPECT_EQ(graph->setFrameRate(333333, false), E_FAIL);

  // The next render reads everything again, from the first format.
  ASSERT_EQ(graph->render(false), S_OK);
  EXPECT_EQ(capabilityNames(*graph).size(), 9u);
  EXPECT_EQ(graph->getFrameRates().size(), 2u);
  EXPECT_FALSE(graph->getPropertyContainer().empty());
  graph.reset();
  EXPECT_EQ(log->destroyed.count(), 1);
}

}  // namespace
}  // namespace kivo::test
