// The device properties a capture graph builds on its first render: which
// rows a device yields, in which order they are built, and that rows the
// device does not support are discarded at once.

#include <kivo/base_property.h>
#include <kivo/trange_property.h>

#include "fake_capture_device.h"

namespace kivo::test {
namespace {

using ::testing::_;
using ::testing::Eq;
using ::testing::InSequence;

std::vector<std::string> propertyNames(const VideoCaptureGraph& graph) {
  std::vector<std::string> names;
  for (const auto& entry : graph.getPropertyContainer()) names.push_back(entry.first);
  return names;
}

class PropertyCatalogueTest : public VideoGraphTest {
 protected:
  PropertyCatalogueTest() { threeFormats(); }
};

TEST_F(PropertyCatalogueTest, CameraControlWithoutProcAmpGivesCameraRowsThenTheOthers) {
  fake_.offerCameraControl();
  fake_.offerVideoControl();
  fake_.offerDecoder();
  fake_.cameraRanges[CameraControl_Zoom] = {100, 400, 10, 100, 2};
  fake_.cameraRanges[CameraControl_Exposure] = {-13, -1, 1, -6, 3};
  fake_.cameraRanges[CameraControl_Focus] = {0, 250, 5, 125, 1};
  auto graph = makeGraph();
  const long deviceRefs = fake_.device.refs();
  ASSERT_EQ(graph->render(false), S_OK);

  EXPECT_EQ(propertyNames(*graph),
            (std::vector<std::string>{"AnalogVideoFormat", "Exposure", "ExposureMode", "Focus",
                                      "HorizontalFlip", "HorizontalLocked", "OutputEnable",
                                      "VCRHorizontalLocking", "VerticalFlip", "Zoom"}));
  for (const auto& entry : graph->getPropertyContainer()) {
    EXPECT_TRUE(entry.second->isSupported()) << entry.first;
    EXPECT_EQ(entry.first, entry.second->getName());
  }
  EXPECT_EQ(graph->getPropertyContainer().at("Exposure")->getDependentProperty(),
            graph->getPropertyContainer().at("ExposureMode"));

  // The rows the device refused were deleted at once: what still holds the
  // device and its interfaces is exactly what the container keeps.
  EXPECT_EQ(fake_.device.refs() - deviceRefs,
            static_cast<long>(graph->getPropertyContainer().size()));
  EXPECT_EQ(fake_.camera.refs(), 4);        // Zoom, Exposure, ExposureMode, Focus
  EXPECT_EQ(fake_.videoControl.refs(), 2);  // the two flips
  EXPECT_EQ(fake_.decoder.refs(), 4);
  EXPECT_EQ(fake_.procAmp.refs(), 0);
}

TEST_F(PropertyCatalogueTest, RowsAreBuiltInTheirFixedOrder) {
  fake_.offerCameraControl();
  fake_.offerProcAmp();
  fake_.offerDecoder();
  {
    InSequence order;
    for (LONG id : {CameraControl_Pan, CameraControl_Tilt, CameraControl_Roll, CameraControl_Zoom,
                    CameraControl_Exposure, CameraControl_Iris, CameraControl_Focus})
      EXPECT_CALL(fake_.camera, GetRange(id, _, _, _, _, _));
    for (LONG id :
         {VideoProcAmp_Brightness, VideoProcAmp_Contrast, VideoProcAmp_Hue, VideoProcAmp_Saturation,
          VideoProcAmp_Sharpness, VideoProcAmp_Gamma, VideoProcAmp_WhiteBalance, VideoProcAmp_Gain,
          VideoProcAmp_ColorEnable, VideoProcAmp_BacklightCompensation})
      EXPECT_CALL(fake_.procAmp, GetRange(id, _, _, _, _, _));
    EXPECT_CALL(fake_.builder, FindPin(Eq(static_cast<IUnknown*>(&fake_.device)), PINDIR_OUTPUT, _,
                                       _, FALSE, 0, _));
    EXPECT_CALL(fake_.decoder, get_OutputEnable(_));
    EXPECT_CALL(fake_.decoder, get_VCRHorizontalLocking(_));
    EXPECT_CALL(fake_.decoder, get_HorizontalLocked(_));
    EXPECT_CALL(fake_.decoder, get_TVFormat(_));
  }
  fake_.procAmpRanges[VideoProcAmp_ColorEnable] = {0, 1, 1, 0, 3};
  fake_.procAmpRanges[VideoProcAmp_Gain] = {0, 255, 1, 64, 2};
  auto graph = makeGraph();
  ASSERT_EQ(graph->render(false), S_OK);
  EXPECT_EQ(propertyNames(*graph),
            (std::vector<std::string>{"AnalogVideoFormat", "ColorEnable", "ColorEnableMode", "Gain",
                                      "HorizontalLocked", "OutputEnable", "VCRHorizontalLocking"}));
}

TEST_F(PropertyCatalogueTest, WithoutACapturePinThereAreNoFlips) {
  fake_.offerVideoControl();
  fake_.offerDecoder();
  fake_.captureCategory = false;
  EXPECT_CALL(fake_.videoControl, GetCaps(_, _)).Times(0);
  auto graph = makeGraph();
  ASSERT_EQ(graph->render(false), S_OK);
  EXPECT_EQ(propertyNames(*graph),
            (std::vector<std::string>{"AnalogVideoFormat", "HorizontalLocked", "OutputEnable",
                                      "VCRHorizontalLocking"}));
  EXPECT_TRUE(graph->getFrameRates().empty());  // nor rates: both need the pin
}

TEST_F(PropertyCatalogueTest, ADeviceWithNoSettingsGetsAnEmptyCatalogue) {
  auto graph = makeGraph();
  const long deviceRefs = fake_.device.refs();
  ASSERT_EQ(graph->render(false), S_OK);
  EXPECT_TRUE(graph->getPropertyContainer().empty());
  EXPECT_EQ(fake_.device.refs(), deviceRefs);
}

TEST_F(PropertyCatalogueTest, AddPropertyKeepsSupportedOnesWithTheirCompanion) {
  fake_.offerCameraControl();
  auto graph = makeGraph();
  ASSERT_EQ(graph->render(false), S_OK);
  ASSERT_TRUE(graph->getPropertyContainer().empty());
  const long deviceRefs = fake_.device.refs();
  const CComPtr<IBaseFilter> device(&fake_.device);

  TestAccess<VideoCaptureGraph>::addProperty(*graph, nullptr);
  // Refused by the device: deleted, so it lets go of the device.
  TestAccess<VideoCaptureGraph>::addProperty(
      *graph, new TRangeProperty<IAMCameraControl>("Iris", CameraControl_Iris, device));
  EXPECT_TRUE(graph->getPropertyContainer().empty());
  EXPECT_EQ(fake_.device.refs(), deviceRefs + 1);  // `device` above

  fake_.cameraRanges[CameraControl_Iris] = {0, 10, 1, 5, 3};
  TestAccess<VideoCaptureGraph>::addProperty(
      *graph, new TRangeProperty<IAMCameraControl>("Iris", CameraControl_Iris, device));
  EXPECT_EQ(propertyNames(*graph), (std::vector<std::string>{"Iris", "IrisMode"}));

  graph->reset();
  EXPECT_EQ(fake_.camera.refs(), 0);
}

}  // namespace
}  // namespace kivo::test
