#include <kivo/tmode_property.h>
#include <kivo/trange_mode_property.h>
#include <kivo/trange_property.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_filter_pin.h"
#include "support/mocks/iamcameracontrol.h"
#include "support/mocks/iamvideoprocamp.h"

namespace kivo {
namespace {

using test::FakeFilter;
using test::MockAMCameraControl;
using test::MockAMVideoProcAmp;
using ::testing::_;
using ::testing::DoAll;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgPointee;

auto ReportRange(long minimum, long maximum, long step, long defaultValue, long caps) {
  return DoAll(SetArgPointee<1>(minimum), SetArgPointee<2>(maximum), SetArgPointee<3>(step),
               SetArgPointee<4>(defaultValue), SetArgPointee<5>(caps), Return(S_OK));
}

auto ReportCurrent(long value, long flags, HRESULT status = S_OK) {
  return DoAll(SetArgPointee<1>(value), SetArgPointee<2>(flags), Return(status));
}

std::vector<std::string> names(const IEnumProperty& property) {
  std::vector<std::string> result;
  for (const auto& pair : property.getConstraints()) result.push_back(pair.first);
  return result;
}

class DeviceControlTest : public ::testing::Test {
 protected:
  DeviceControlTest() {
    filter.answer(IID_IAMCameraControl, camera.self());
    filter.answer(IID_IAMVideoProcAmp, procAmp.self());
  }

  CComPtr<IBaseFilter> filterRef() { return CComPtr<IBaseFilter>(&filter); }

  NiceMock<MockAMCameraControl> camera;
  NiceMock<MockAMVideoProcAmp> procAmp;
  FakeFilter filter;
};

TEST_F(DeviceControlTest, RangeDefaultIsClampedMaximumFirst) {
  EXPECT_CALL(procAmp, GetRange(VideoProcAmp_Brightness, _, _, _, _, _))
      .WillOnce(ReportRange(0, 100, 5, 150, 2));
  EXPECT_CALL(procAmp, GetRange(VideoProcAmp_Contrast, _, _, _, _, _))
      .WillOnce(ReportRange(10, 5, 1, 7, 2));
  EXPECT_CALL(procAmp, GetRange(VideoProcAmp_Hue, _, _, _, _, _))
      .WillOnce(ReportRange(-10, 10, 1, -20, 1));

  TRangeProperty<IAMVideoProcAmp> brightness("Brightness", VideoProcAmp_Brightness, filterRef());
  TRangeProperty<IAMVideoProcAmp> contrast("Contrast", VideoProcAmp_Contrast, filterRef());
  TRangeProperty<IAMVideoProcAmp> hue("Hue", VideoProcAmp_Hue, filterRef());

  long minimum, maximum, step, defaultValue, caps;
  brightness.getRange(minimum, maximum, step, defaultValue, caps);
  EXPECT_EQ(minimum, 0);
  EXPECT_EQ(maximum, 100);
  EXPECT_EQ(step, 5);
  EXPECT_EQ(defaultValue, 100);
  EXPECT_EQ(caps, 2);
  contrast.getRange(minimum, maximum, step, defaultValue, caps);
  EXPECT_EQ(defaultValue, 10);
  hue.getRange(minimum, maximum, step, defaultValue, caps);
  EXPECT_EQ(defaultValue, -10);  // signed comparison
  for (const TRangeProperty<IAMVideoProcAmp>* p : {&brightness, &contrast, &hue}) {
    EXPECT_TRUE(p->isSupported());
    EXPECT_TRUE(p->isSettable());
    EXPECT_EQ(p->getDependentProperty(), nullptr);
  }
}

TEST_F(DeviceControlTest, MissingInterfaceOrFailingRangeLeavesPropertyUnsupported) {
  EXPECT_CALL(camera, GetRange(CameraControl_Iris, _, _, _, _, _))
      .WillOnce(Return(E_PROP_ID_UNSUPPORTED));
  TRangeProperty<IAMCameraControl> iris("Iris", CameraControl_Iris, filterRef());
  EXPECT_FALSE(iris.isSupported());
  EXPECT_EQ(iris.getDependentProperty(), nullptr);

  TRangeProperty<IAMCameraControl> orphan("Zoom", CameraControl_Zoom, nullptr);
  EXPECT_FALSE(orphan.isSupported());
  long value = 0;
  EXPECT_EQ(orphan.getValue(&value), E_UNEXPECTED);
  EXPECT_EQ(orphan.setValue(&value), E_UNEXPECTED);

  filter.refuse(IID_IAMVideoProcAmp);
  EXPECT_CALL(procAmp, GetRange(_, _, _, _, _, _)).Times(0);
  TRangeProperty<IAMVideoProcAmp> gain("Gain", VideoProcAmp_Gain, filterRef());
  TModeProperty<IAMVideoProcAmp> color("ColorEnable", VideoProcAmp_ColorEnable, filterRef());
  EXPECT_FALSE(gain.isSupported());
  EXPECT_FALSE(color.isSupported());
  EXPECT_TRUE(color.getConstraints().empty());
  EXPECT_EQ(procAmp.refs(), 0);
}

TEST_F(DeviceControlTest, CompanionOnlyWhenBothAutoAndManualAreOffered) {
  EXPECT_CALL(camera, GetRange(CameraControl_Pan, _, _, _, _, _))
      .WillOnce(ReportRange(-180, 180, 1, 0, CameraControl_Flags_Auto));
  EXPECT_CALL(camera, GetRange(CameraControl_Tilt, _, _, _, _, _))
      .WillOnce(ReportRange(-180, 180, 1, 0, CameraControl_Flags_Manual));
  EXPECT_CALL(camera, GetRange(CameraControl_Exposure, _, _, _, _, _))
      .WillOnce(ReportRange(-13, -1, 1, -6, 3));
  TRangeProperty<IAMCameraControl> pan("Pan", CameraControl_Pan, filterRef());
  TRangeProperty<IAMCameraControl> tilt("Tilt", CameraControl_Tilt, filterRef());
  auto exposure = std::make_unique<TRangeProperty<IAMCameraControl>>(
      "Exposure", CameraControl_Exposure, filterRef());
  EXPECT_EQ(pan.getDependentProperty(), nullptr);
  EXPECT_EQ(tilt.getDependentProperty(), nullptr);

  std::unique_ptr<BaseProperty> companion(exposure->getDependentProperty());
  ASSERT_NE(companion, nullptr);
  auto* mode = dynamic_cast<TRangeModeProperty<IAMCameraControl>*>(companion.get());
  ASSERT_NE(mode, nullptr);
  EXPECT_STREQ(mode->getName(), "ExposureMode");
  EXPECT_EQ(mode->getRangeProperty(), exposure.get());
  EXPECT_EQ(mode->getPropertyId(), CameraControl_Exposure);
  EXPECT_EQ(mode->getFilter().p, &filter);
  EXPECT_TRUE(mode->isSupported());
  EXPECT_TRUE(mode->isSettable());
  EXPECT_EQ(mode->getDependentProperty(), nullptr);
  EXPECT_EQ(mode->getDefaultValue(), 1);
  EXPECT_STREQ(mode->getDefaultName(), "auto");
  EXPECT_EQ(names(*mode), (std::vector<std::string>{"auto", "manual"}));
  EXPECT_EQ(mode->getConstraints().at("manual"), 2);

  // Owner and companion hold references of their own; deleting the owner
  // leaves the companion working.
  EXPECT_EQ(camera.refs(), 4);
  EXPECT_EQ(filter.refs(), 4);
  exposure.reset();
  EXPECT_EQ(camera.refs(), 3);
  EXPECT_EQ(filter.refs(), 3);
  EXPECT_CALL(camera, Get(CameraControl_Exposure, _, _)).WillOnce(ReportCurrent(-5, 2));
  long flags = 0;
  EXPECT_EQ(companion->getValue(&flags), S_OK);
  EXPECT_EQ(flags, 2);
  companion.reset();
  EXPECT_EQ(camera.refs(), 2);
  EXPECT_EQ(filter.refs(), 2);
}

TEST_F(DeviceControlTest, ValueWritesKeepFlagsAndModeWritesKeepValue) {
  EXPECT_CALL(camera, GetRange(CameraControl_Focus, _, _, _, _, _))
      .WillOnce(ReportRange(0, 1000, 10, 500, 3));
  TRangeProperty<IAMCameraControl> focus("Focus", CameraControl_Focus, filterRef());
  std::unique_ptr<BaseProperty> focusMode(focus.getDependentProperty());
  ASSERT_NE(focusMode, nullptr);
  EXPECT_STREQ(focusMode->getName(), "FocusMode");

  InSequence order;
  // Reading: the value or the flags land in the caller's long, the status
  // passes through.
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _)).WillOnce(ReportCurrent(321, 1));
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _))
      .WillOnce(ReportCurrent(321, 1, E_PROP_ID_UNSUPPORTED));
  // Writing 2 ("manual") to the mode keeps the focus value just read.
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _)).WillOnce(ReportCurrent(321, 1));
  EXPECT_CALL(camera, Set(CameraControl_Focus, 321, 2)).WillOnce(Return(S_OK));
  // Writing a value keeps the flags just read.
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _)).WillOnce(ReportCurrent(321, 2));
  EXPECT_CALL(camera, Set(CameraControl_Focus, 700, 2)).WillOnce(Return(E_INVALIDARG));
  // A failing preliminary read sends zeros.
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _)).WillOnce(Return(E_FAIL));
  EXPECT_CALL(camera, Set(CameraControl_Focus, 0, 1)).WillOnce(Return(S_OK));
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _)).WillOnce(Return(E_FAIL));
  EXPECT_CALL(camera, Set(CameraControl_Focus, 650, 0)).WillOnce(Return(S_OK));

  long value = 0;
  EXPECT_EQ(focus.getValue(&value), S_OK);
  EXPECT_EQ(value, 321);
  value = 0;
  EXPECT_EQ(focusMode->getValue(&value), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(value, 1);
  value = 2;
  EXPECT_EQ(focusMode->setValue(&value), S_OK);
  value = 700;
  EXPECT_EQ(focus.setValue(&value), E_INVALIDARG);
  value = 1;
  EXPECT_EQ(focusMode->setValue(&value), S_OK);
  value = 650;
  EXPECT_EQ(focus.setValue(&value), S_OK);
  // No long to exchange: refused before the device is asked.
  EXPECT_EQ(focus.getValue(nullptr), E_POINTER);
  EXPECT_EQ(focus.setValue(nullptr), E_POINTER);
  EXPECT_EQ(focusMode->getValue(nullptr), E_POINTER);
  EXPECT_EQ(focusMode->setValue(nullptr), E_POINTER);
}

TEST_F(DeviceControlTest, OnOffSettingDefaultsToOnWhateverTheDeviceSays) {
  EXPECT_CALL(procAmp, GetRange(VideoProcAmp_ColorEnable, _, _, _, _, _))
      .WillOnce(ReportRange(0, 1, 1, 0, 2));
  EXPECT_CALL(procAmp, GetRange(VideoProcAmp_BacklightCompensation, _, _, _, _, _))
      .WillOnce(ReportRange(0, 2, 1, 7, 3));
  TModeProperty<IAMVideoProcAmp> color("ColorEnable", VideoProcAmp_ColorEnable, filterRef());
  auto backlight = std::make_unique<TModeProperty<IAMVideoProcAmp>>(
      "BacklightCompensation", VideoProcAmp_BacklightCompensation, filterRef());

  EXPECT_TRUE(color.isSupported());
  EXPECT_TRUE(color.isSettable());
  EXPECT_EQ(color.getDefaultValue(), 1);
  EXPECT_STREQ(color.getDefaultName(), "on");
  EXPECT_EQ(names(color), (std::vector<std::string>{"off", "on"}));
  EXPECT_EQ(color.getDependentProperty(), nullptr);

  // The reported range is kept as it came, without clamping.
  long minimum, maximum, step, defaultValue, caps;
  backlight->getRange(minimum, maximum, step, defaultValue, caps);
  EXPECT_EQ(defaultValue, 7);
  EXPECT_EQ(caps, 3);
  std::unique_ptr<BaseProperty> companion(backlight->getDependentProperty());
  auto* mode = dynamic_cast<TRangeModeProperty<IAMVideoProcAmp>*>(companion.get());
  ASSERT_NE(mode, nullptr);
  EXPECT_STREQ(mode->getName(), "BacklightCompensationMode");
  EXPECT_EQ(mode->getRangeProperty(), backlight.get());
  EXPECT_EQ(mode->getPropertyId(), VideoProcAmp_BacklightCompensation);

  InSequence order;
  EXPECT_CALL(procAmp, Get(VideoProcAmp_ColorEnable, _, _)).WillOnce(ReportCurrent(0, 2));
  EXPECT_CALL(procAmp, Get(VideoProcAmp_ColorEnable, _, _)).WillOnce(ReportCurrent(0, 2));
  EXPECT_CALL(procAmp, Set(VideoProcAmp_ColorEnable, 1, 2)).WillOnce(Return(S_FALSE));
  long value = 9;
  EXPECT_EQ(color.getValue(&value), S_OK);
  EXPECT_EQ(value, 0);
  value = 1;
  EXPECT_EQ(color.setValue(&value), S_FALSE);

  EXPECT_EQ(procAmp.refs(), 3);
  backlight.reset();
  companion.reset();
  EXPECT_EQ(procAmp.refs(), 1);
}

}  // namespace
}  // namespace kivo
