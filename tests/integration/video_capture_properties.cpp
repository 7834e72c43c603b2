// A host reads and writes the KIVO Test Camera's settings through the
// graph's properties, and routes the inputs of its analog personality.

#include <kivo/base_property.h>
#include <kivo/enum_property.h>
#include <kivo/range_mode_property.h>
#include <kivo/range_property.h>
#include <kivo/video_inputs.h>

#include "video_capture_host.h"

#include <numeric>

namespace kivo::test {
namespace {

using Properties = TestCameraTest;
using ::testing::ElementsAre;
using ::testing::Pair;

std::vector<std::string> propertyNames(const VideoCaptureGraph& graph) {
  std::vector<std::string> names;
  for (const auto& entry : graph.getPropertyContainer()) names.push_back(entry.first);
  return names;
}

BaseProperty* property(const VideoCaptureGraph& graph, const char* name) {
  const std::map<std::string, BaseProperty*> container = graph.getPropertyContainer();
  auto found = container.find(name);
  return found == container.end() ? nullptr : found->second;
}

// The mean of the frame's bytes after the frame counter.
double meanLevel(const std::vector<BYTE>& frame) {
  if (frame.size() <= 4) return -1.0;
  const double sum = std::accumulate(frame.begin() + 4, frame.end(), 0.0);
  return sum / static_cast<double>(frame.size() - 4);
}

// The latest frame after a few more have arrived (so that a change made
// now shows in it).
std::vector<BYTE> frameAfterChange(FrameLog& log) {
  const long now = log.frames.count();
  EXPECT_TRUE(log.frames.waitFor(now + 3, kFrameWait));
  return log.latestFrame();
}

TEST_F(Properties, TheCatalogueHoldsWhatTheUsbCameraOffers) {
  VideoCaptureGraph graph(usb_, 0);
  ASSERT_EQ(graph.render(false), S_OK);
  // A "Mode" companion exists exactly where the device offers both automatic
  // and manual control; gamma is absent; a USB camera has no decoder.
  EXPECT_EQ(propertyNames(graph),
            (std::vector<std::string>{"BacklightCompensation", "BacklightCompensationMode",
                                      "Brightness", "ColorEnable", "Contrast", "ContrastMode",
                                      "Exposure", "ExposureMode", "Focus", "FocusMode", "Gain",
                                      "HorizontalFlip", "Hue", "Saturation", "Sharpness",
                                      "VerticalFlip", "WhiteBalance", "WhiteBalanceMode", "Zoom"}));
  for (const auto& entry : graph.getPropertyContainer()) {
    EXPECT_TRUE(entry.second->isSupported()) << entry.first;
    EXPECT_EQ(entry.first, entry.second->getName());
  }

  auto* exposure = dynamic_cast<IRangeProperty*>(property(graph, "Exposure"));
  ASSERT_NE(exposure, nullptr);
  long minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0;
  exposure->getRange(minimum, maximum, step, defaultValue, caps);
  EXPECT_EQ(minimum, -13);
  EXPECT_EQ(maximum, -1);
  EXPECT_EQ(caps, 3);
  auto* mode = dynamic_cast<IRangeModeProperty*>(property(graph, "ExposureMode"));
  ASSERT_NE(mode, nullptr);
  EXPECT_EQ(exposure->getDependentProperty(), mode);
  EXPECT_EQ(mode->getRangeProperty(), exposure);
  EXPECT_THAT(mode->getConstraints(), ElementsAre(Pair("auto", 1), Pair("manual", 2)));
}

TEST_F(Properties, ValuesAndModesReadAndWriteTheDevice) {
  VideoCaptureGraph graph(usb_, 0);
  ASSERT_EQ(graph.render(false), S_OK);
  BaseProperty* focus = property(graph, "Focus");
  BaseProperty* focusMode = property(graph, "FocusMode");
  ASSERT_NE(focus, nullptr);
  ASSERT_NE(focusMode, nullptr);

  long value = 200;
  EXPECT_EQ(focus->setValue(&value), S_OK);
  long flags = 2;
  EXPECT_EQ(focusMode->setValue(&flags), S_OK);
  value = 0;
  EXPECT_EQ(focus->getValue(&value), S_OK);
  EXPECT_EQ(value, 200);  // writing the mode kept the value
  flags = 0;
  EXPECT_EQ(focusMode->getValue(&flags), S_OK);
  EXPECT_EQ(flags, 2);

  BaseProperty* flip = property(graph, "VerticalFlip");
  ASSERT_NE(flip, nullptr);
  long on = 1;
  EXPECT_EQ(flip->setValue(&on), S_OK);
  on = 0;
  EXPECT_EQ(flip->getValue(&on), S_OK);
  EXPECT_EQ(on, 1);
}

TEST_F(Properties, BrightnessShowsInTheDeliveredPixels) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(kUsbCamera, log);
  ASSERT_EQ(graph->render(false), S_OK);
  graph->setSelectedCapID(graph->lookupCapIDByName("RGB24_160x120"));
  BaseProperty* brightness = property(*graph, "Brightness");
  ASSERT_NE(brightness, nullptr);
  ASSERT_EQ(graph->start(false), S_OK);

  long value = 40;
  ASSERT_EQ(brightness->setValue(&value), S_OK);
  const double dark = meanLevel(frameAfterChange(*log));
  value = 220;
  ASSERT_EQ(brightness->setValue(&value), S_OK);
  const double bright = meanLevel(frameAfterChange(*log));
  EXPECT_EQ(graph->stop(), S_OK);
  EXPECT_GT(bright, dark + 20.0) << "mean level " << dark << " at 40, " << bright << " at 220";
}

class AnalogProperties : public TestCameraTest {
 protected:
  void SetUp() override {
    TestCameraTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_NE(findDevice(*devices_, kAnalogCamera), nullptr);
  }
};

TEST_F(AnalogProperties, InputsAndTvStandardsAreOffered) {
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(kAnalogCamera, nullptr);
  ASSERT_EQ(graph->render(false), S_OK);
  VideoInputs* inputs = graph->getVideoInputs();
  ASSERT_NE(inputs, nullptr);
  std::vector<std::string> names;
  for (const auto& input : inputs->getInputs()) names.push_back(input.first);
  EXPECT_THAT(names, ::testing::IsSupersetOf({"composite", "svideo", "tuner"}));

  auto* standard = dynamic_cast<IEnumProperty*>(property(*graph, "AnalogVideoFormat"));
  ASSERT_NE(standard, nullptr);
  std::vector<std::string> standards;
  for (const auto& entry : standard->getConstraints()) standards.push_back(entry.first);
  EXPECT_THAT(standards, ::testing::IsSupersetOf({"ntsc_m", "pal_b", "secam_b"}));
  EXPECT_NE(property(*graph, "OutputEnable"), nullptr);
  EXPECT_NE(property(*graph, "HorizontalLocked"), nullptr);
  EXPECT_FALSE(property(*graph, "HorizontalLocked")->isSettable());
  // No video control on this device: no flip switches.
  EXPECT_EQ(property(*graph, "HorizontalFlip"), nullptr);

  long pal = 0x10;
  EXPECT_EQ(standard->setValue(&pal), S_OK);
  long now = 0;
  EXPECT_EQ(standard->getValue(&now), S_OK);
  EXPECT_EQ(now, 0x10);
}

TEST_F(AnalogProperties, RoutingAnotherInputChangesThePicture) {
  auto log = std::make_shared<FrameLog>();
  std::unique_ptr<VideoCaptureGraph> graph = openGraph(kAnalogCamera, log);
  ASSERT_EQ(graph->render(false), S_OK);
  const std::map<std::string, long> inputs = graph->getVideoInputs()->getInputs();
  ASSERT_TRUE(inputs.count("composite") && inputs.count("svideo"));

  std::vector<std::vector<BYTE>> pictures;
  for (const char* name : {"composite", "svideo"}) {
    SCOPED_TRACE(name);
    // The selection is applied again at every render, so it outlives the
    // rebuild that start performs.
    graph->getVideoInputs()->setSelectedInput(inputs.at(name));
    ASSERT_EQ(graph->start(false), S_OK);
    EXPECT_EQ(graph->getVideoInputs()->getSelectedInput(), inputs.at(name));
    pictures.push_back(frameAfterChange(*log));
    EXPECT_EQ(graph->stop(), S_OK);
  }
  ASSERT_EQ(pictures[0].size(), pictures[1].size());
  // The first 4 bytes carry the frame counter; the rest is the picture.
  EXPECT_FALSE(std::equal(pictures[0].begin() + 4, pictures[0].end(), pictures[1].begin() + 4));
}

}  // namespace
}  // namespace kivo::test
