#include <kivo/tmode_property.h>
#include <kivo/trange_mode_property.h>
#include <kivo/trange_property.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "support/mocks/iamcameracontrol.h"
#include "support/mocks/iamvideoprocamp.h"
#include "support/mocks/ibasefilter.h"

namespace kivo {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgPointee;
using Constraints = std::map<std::string, long>;

auto ReportRange(long minimum, long maximum, long step, long defaultValue, long caps) {
  return DoAll(SetArgPointee<1>(minimum), SetArgPointee<2>(maximum), SetArgPointee<3>(step),
               SetArgPointee<4>(defaultValue), SetArgPointee<5>(caps), Return(S_OK));
}

auto ReportCurrent(long value, long flags, HRESULT status = S_OK) {
  return DoAll(SetArgPointee<1>(value), SetArgPointee<2>(flags), Return(status));
}

class DeviceControlTest : public ::testing::Test {
 protected:
  DeviceControlTest() {
    filter.answer(IID_IAMCameraControl, camera.self());
    filter.answer(IID_IAMVideoProcAmp, procAmp.self());
  }
  CComPtr<IBaseFilter> filterRef() { return CComPtr<IBaseFilter>(filter.self()); }

  NiceMock<test::MockAMCameraControl> camera;
  NiceMock<test::MockAMVideoProcAmp> procAmp;
  NiceMock<test::MockBaseFilter> filter;
};

TEST_F(DeviceControlTest, RangeDefaultIsClampedMaximumFirstAndFailuresLeaveItUnsupported) {
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
  EXPECT_EQ(defaultValue, 100);
  EXPECT_TRUE(brightness.isSupported());
  contrast.getRange(minimum, maximum, step, defaultValue, caps);
  EXPECT_EQ(defaultValue, 10);
  hue.getRange(minimum, maximum, step, defaultValue, caps);
  EXPECT_EQ(defaultValue, -10);  // signed comparison

  EXPECT_CALL(camera, GetRange(CameraControl_Iris, _, _, _, _, _))
      .WillOnce(Return(E_PROP_ID_UNSUPPORTED));
  TRangeProperty<IAMCameraControl> iris("Iris", CameraControl_Iris, filterRef());
  EXPECT_FALSE(iris.isSupported());
  EXPECT_EQ(iris.getDependentProperty(), nullptr);
  TRangeProperty<IAMCameraControl> orphan("Zoom", CameraControl_Zoom, nullptr);
  long value = 0;
  EXPECT_EQ(orphan.getValue(&value), E_UNEXPECTED);
  EXPECT_EQ(orphan.setValue(&value), E_UNEXPECTED);
  filter.refuse(IID_IAMVideoProcAmp);
  TModeProperty<IAMVideoProcAmp> color("ColorEnable", VideoProcAmp_ColorEnable, filterRef());
  EXPECT_FALSE(color.isSupported());
  EXPECT_TRUE(color.getConstraints().empty());
}

// A mode companion exists only when both auto and manual are offered; it
// holds references of its own and outlives its owner.
TEST_F(DeviceControlTest, CompanionOnlyWhenBothAutoAndManualAreOffered) {
  EXPECT_CALL(camera, GetRange(CameraControl_Pan, _, _, _, _, _))
      .WillOnce(ReportRange(-180, 180, 1, 0, CameraControl_Flags_Auto));
  EXPECT_CALL(camera, GetRange(CameraControl_Exposure, _, _, _, _, _))
      .WillOnce(ReportRange(-13, -1, 1, -6, 3));
  TRangeProperty<IAMCameraControl> pan("Pan", CameraControl_Pan, filterRef());
  auto exposure = std::make_unique<TRangeProperty<IAMCameraControl>>(
      "Exposure", CameraControl_Exposure, filterRef());
  EXPECT_EQ(pan.getDependentProperty(), nullptr);
  std::unique_ptr<BaseProperty> companion(exposure->getDependentProperty());
  auto* mode = dynamic_cast<TRangeModeProperty<IAMCameraControl>*>(companion.get());
  ASSERT_NE(mode, nullptr);
  EXPECT_STREQ(mode->getName(), "ExposureMode");
  EXPECT_EQ(mode->getRangeProperty(), exposure.get());
  EXPECT_STREQ(mode->getDefaultName(), "auto");
  EXPECT_EQ(mode->getConstraints(), (Constraints{{"auto", 1}, {"manual", 2}}));
  EXPECT_EQ(camera.refs(), 4);
  exposure.reset();
  EXPECT_EQ(camera.refs(), 3);
  EXPECT_EQ(filter.refs(), 3);
  EXPECT_CALL(camera, Get(CameraControl_Exposure, _, _)).WillOnce(ReportCurrent(-5, 2));
  long flags = 0;
  EXPECT_EQ(companion->getValue(&flags), S_OK);
  EXPECT_EQ(flags, 2);
  companion.reset();
  EXPECT_EQ(camera.refs(), 2);
}

TEST_F(DeviceControlTest, ValueWritesKeepFlagsAndModeWritesKeepValue) {
  EXPECT_CALL(camera, GetRange(CameraControl_Focus, _, _, _, _, _))
      .WillOnce(ReportRange(0, 1000, 10, 500, 3));
  TRangeProperty<IAMCameraControl> focus("Focus", CameraControl_Focus, filterRef());
  std::unique_ptr<BaseProperty> focusMode(focus.getDependentProperty());
  ASSERT_NE(focusMode, nullptr);
  InSequence order;
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _)).WillOnce(ReportCurrent(321, 1));
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _))
      .WillOnce(ReportCurrent(321, 1, E_PROP_ID_UNSUPPORTED));
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _)).WillOnce(ReportCurrent(321, 1));
  EXPECT_CALL(camera, Set(CameraControl_Focus, 321, 2)).WillOnce(Return(S_OK));
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _)).WillOnce(ReportCurrent(321, 2));
  EXPECT_CALL(camera, Set(CameraControl_Focus, 700, 2)).WillOnce(Return(E_INVALIDARG));
  // A failing preliminary read sends zeros.
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _)).WillOnce(Return(E_FAIL));
  EXPECT_CALL(camera, Set(CameraControl_Focus, 650, 0)).WillOnce(Return(S_OK));
  long value = 0;
  EXPECT_EQ(focus.getValue(&value), S_OK);
  EXPECT_EQ(value, 321);
  EXPECT_EQ(focusMode->getValue(&value), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(value, 1);
  value = 2;
  EXPECT_EQ(focusMode->setValue(&value), S_OK);
  value = 700;
  EXPECT_EQ(focus.setValue(&value), E_INVALIDARG);
  value = 650;
  EXPECT_EQ(focus.setValue(&value), S_OK);
  EXPECT_EQ(focus.getValue(nullptr), E_POINTER);
  EXPECT_EQ(focusMode->setValue(nullptr), E_POINTER);
}

TEST_F(DeviceControlTest, OnOffSettingDefaultsToOnWhateverTheDeviceSays) {
  EXPECT_CALL(procAmp, GetRange(VideoProcAmp_ColorEnable, _, _, _, _, _))
      .WillOnce(ReportRange(0, 1, 1, 0, 2));
  TModeProperty<IAMVideoProcAmp> color("ColorEnable", VideoProcAmp_ColorEnable, filterRef());
  EXPECT_TRUE(color.isSupported());
  EXPECT_STREQ(color.getDefaultName(), "on");
  EXPECT_EQ(color.getConstraints(), (Constraints{{"off", 0}, {"on", 1}}));
  InSequence order;
  EXPECT_CALL(procAmp, Get(VideoProcAmp_ColorEnable, _, _)).WillOnce(ReportCurrent(0, 2));
  EXPECT_CALL(procAmp, Set(VideoProcAmp_ColorEnable, 1, 2)).WillOnce(Return(S_FALSE));
  long value = 1;
  EXPECT_EQ(color.setValue(&value), S_FALSE);
}

}  // namespace
}  // namespace kivo
