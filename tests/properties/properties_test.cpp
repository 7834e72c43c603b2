// Device properties over mocked device interfaces: which calls a read or a write makes.

#include <kivo/analog_video_decoder_property.h>
#include <kivo/base_property.h>
#include <kivo/enum_property.h>
#include <kivo/tmode_property.h>
#include <kivo/trange_mode_property.h>
#include <kivo/trange_property.h>
#include <kivo/video_control_property.h>

#include "support/mocks/device_settings.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/ipin.h"

#include <map>
#include <memory>
#include <string>

namespace kivo {
namespace {

using namespace ::testing;
using Constraints = std::map<std::string, long>;

// Answers `value` through the out-parameter at position N, and `status`.
template <size_t N = 0>
auto Report(long value, HRESULT status = S_OK) {
  return DoAll(SetArgPointee<N>(value), Return(status));
}

auto ReportRange(long minimum, long maximum, long step, long defaultValue, long caps) {
  return DoAll(SetArgPointee<1>(minimum), SetArgPointee<2>(maximum), SetArgPointee<3>(step),
               SetArgPointee<4>(defaultValue), SetArgPointee<5>(caps), Return(S_OK));
}

auto ReportCurrent(long value, long flags) {
  return DoAll(SetArgPointee<1>(value), SetArgPointee<2>(flags), Return(S_OK));
}

long set(BaseProperty& property, long value) { return property.setValue(&value); }

// One device filter answering every device interface with a mock.
class PropertyTest : public Test {
 protected:
  PropertyTest() {
    filter.answer(IID_IAMCameraControl, camera.self());
    filter.answer(IID_IAMVideoProcAmp, procAmp.self());
    filter.answer(IID_IAMAnalogVideoDecoder, decoder.self());
    filter.answer(IID_IAMVideoControl, control.self());
  }
  CComPtr<IBaseFilter> filterRef() { return CComPtr<IBaseFilter>(filter.self()); }
  std::unique_ptr<AnalogVideoDecoderProperty> decoderProperty(const char* name) {
    return std::make_unique<AnalogVideoDecoderProperty>(name, filterRef());
  }
  // A TV-standard property over a decoder reporting `current` and `available`.
  std::unique_ptr<AnalogVideoDecoderProperty> formatProperty(long current, long available) {
    EXPECT_CALL(decoder, get_TVFormat(_)).WillOnce(Report(current));
    EXPECT_CALL(decoder, get_AvailableTVFormats(_)).WillOnce(Report(available));
    return decoderProperty("AnalogVideoFormat");
  }
  std::unique_ptr<VideoControlProperty> flipProperty(long flag) {
    return std::make_unique<VideoControlProperty>("Flip", flag, filterRef(),
                                                  CComPtr<IPin>(pin.self()));
  }

  NiceMock<test::MockAMCameraControl> camera;
  NiceMock<test::MockAMVideoProcAmp> procAmp;
  NiceMock<test::MockAMAnalogVideoDecoder> decoder;
  NiceMock<test::MockAMVideoControl> control;
  NiceMock<test::MockPin> pin;
  NiceMock<test::MockBaseFilter> filter;
};

TEST_F(PropertyTest, RangeDefaultIsClampedMaximumFirstAndFailuresLeaveItUnsupported) {
  // minimum, maximum, default reported, default kept
  const long cases[][4] = {{0, 100, 150, 100}, {10, 5, 7, 10}, {-10, 10, -20, -10}};
  for (const auto& c : cases) {
    EXPECT_CALL(procAmp, GetRange(VideoProcAmp_Hue, _, _, _, _, _))
        .WillOnce(ReportRange(c[0], c[1], 1, c[2], 2));
    TRangeProperty<IAMVideoProcAmp> hue("Hue", VideoProcAmp_Hue, filterRef());
    long minimum, maximum, step, defaultValue, caps;
    hue.getRange(minimum, maximum, step, defaultValue, caps);
    EXPECT_TRUE(hue.isSupported());
    EXPECT_EQ(defaultValue, c[3]);
  }

  // An on/off setting defaults to on whatever the device says; writes keep the flags.
  EXPECT_CALL(procAmp, GetRange(VideoProcAmp_ColorEnable, _, _, _, _, _))
      .WillOnce(ReportRange(0, 1, 1, 0, 2));
  TModeProperty<IAMVideoProcAmp> color("ColorEnable", VideoProcAmp_ColorEnable, filterRef());
  EXPECT_STREQ(color.getDefaultName(), "on");
  EXPECT_CALL(procAmp, Get(VideoProcAmp_ColorEnable, _, _)).WillOnce(ReportCurrent(0, 2));
  EXPECT_CALL(procAmp, Set(VideoProcAmp_ColorEnable, 1, 2)).WillOnce(Return(S_FALSE));
  EXPECT_EQ(set(color, 1), S_FALSE);
  EXPECT_CALL(camera, GetRange(CameraControl_Iris, _, _, _, _, _)).WillOnce(Return(E_FAIL));
  EXPECT_FALSE(
      TRangeProperty<IAMCameraControl>("Iris", CameraControl_Iris, filterRef()).isSupported());
  TRangeProperty<IAMCameraControl> orphan("Zoom", CameraControl_Zoom, nullptr);
  long value = 5;
  EXPECT_EQ(orphan.getValue(&value), E_UNEXPECTED);
  EXPECT_EQ(orphan.setValue(&value), E_UNEXPECTED);
  EXPECT_EQ(value, 5);
}

// A mode companion (for a device offering both auto and manual) outlives its owner.
TEST_F(PropertyTest, ACompanionNamedModeReadsTheFlagsAndOutlivesItsOwner) {
  EXPECT_CALL(camera, GetRange(CameraControl_Exposure, _, _, _, _, _))
      .WillOnce(ReportRange(-13, -1, 1, -6, 3));
  auto exposure = std::make_unique<TRangeProperty<IAMCameraControl>>(
      "Exposure", CameraControl_Exposure, filterRef());
  std::unique_ptr<BaseProperty> companion(exposure->getDependentProperty());
  auto* mode = dynamic_cast<TRangeModeProperty<IAMCameraControl>*>(companion.get());
  ASSERT_NE(mode, nullptr);
  EXPECT_STREQ(mode->getName(), "ExposureMode");
  EXPECT_STREQ(mode->getDefaultName(), "auto");
  exposure.reset();  // the companion holds references of its own (the fakes count them)
  EXPECT_CALL(camera, Get(CameraControl_Exposure, _, _)).WillOnce(ReportCurrent(-5, 2));
  long flags = 0;
  EXPECT_EQ(companion->getValue(&flags), S_OK);  // reads the flags
  EXPECT_EQ(flags, 2);
}

TEST_F(PropertyTest, ValueWritesKeepFlagsAndModeWritesKeepValue) {
  EXPECT_CALL(camera, GetRange(CameraControl_Focus, _, _, _, _, _))
      .WillOnce(ReportRange(0, 1000, 10, 500, 3));
  TRangeProperty<IAMCameraControl> focus("Focus", CameraControl_Focus, filterRef());
  std::unique_ptr<BaseProperty> focusMode(focus.getDependentProperty());
  ASSERT_NE(focusMode, nullptr);
  InSequence order;
  EXPECT_CALL(camera, Get(CameraControl_Focus, _, _)).WillOnce(ReportCurrent(321, 1));
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
  EXPECT_EQ(set(*focusMode, 2), S_OK);
  EXPECT_EQ(set(focus, 700), E_INVALIDARG);
  EXPECT_EQ(set(focus, 650), S_OK);
  EXPECT_EQ(focusMode->setValue(nullptr), E_POINTER);
}

// Unnamed bits are "unknown", PAL_G among them (named ones: the Test Camera); failures unsupport.
TEST_F(PropertyTest, TVStandardsWithoutANameAndFailures) {
  auto palG = formatProperty(AnalogVideo_PAL_G, AnalogVideo_PAL_G | AnalogVideo_NTSC_M);
  EXPECT_EQ(palG->getConstraints(), (Constraints{{"ntsc_m", 1}, {"unknown", 0x40}}));
  EXPECT_CALL(decoder, get_TVFormat(_)).WillOnce(Report(1));
  EXPECT_CALL(decoder, get_AvailableTVFormats(_)).WillOnce(Return(E_NOTIMPL));
  EXPECT_FALSE(decoderProperty("AnalogVideoFormat")->isSupported());
  // Names are matched exactly; an unknown one asks the decoder nothing.
  EXPECT_CALL(decoder, get_HorizontalLocked(_)).Times(0);
  EXPECT_FALSE(decoderProperty("horizontallocked")->isSupported());
  filter.refuse(IID_IAMAnalogVideoDecoder);
  EXPECT_FALSE(decoderProperty("OutputEnable")->isSupported());
}

TEST_F(PropertyTest, EachSettingReadsAndWritesThroughItsOwnCalls) {
  EXPECT_CALL(decoder, get_OutputEnable(_)).WillOnce(Report(1)).WillOnce(Report(0, S_FALSE));
  EXPECT_CALL(decoder, put_OutputEnable(5)).WillOnce(Return(E_INVALIDARG));
  auto output = decoderProperty("OutputEnable");
  long value = 7;
  EXPECT_EQ(output->getValue(&value), S_FALSE);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(set(*output, 5), E_INVALIDARG);  // passed on unchecked

  auto format = formatProperty(1, 0x11);
  EXPECT_CALL(decoder, put_TVFormat(0x1000)).WillOnce(Return(VFW_E_INVALIDMEDIATYPE));
  EXPECT_EQ(set(*format, 0x1000), VFW_E_INVALIDMEDIATYPE);  // not a constraint: the decoder judges

  // HorizontalLocked is read-only: writing touches nothing.
  EXPECT_CALL(decoder, get_HorizontalLocked(_)).WillOnce(Report(0));
  EXPECT_CALL(decoder, put_OutputEnable(_)).Times(0);
  EXPECT_CALL(decoder, put_TVFormat(_)).Times(0);
  auto locked = decoderProperty("HorizontalLocked");
  EXPECT_FALSE(locked->isSettable());
  EXPECT_EQ(set(*locked, 0x1000), E_FAIL);
  EXPECT_EQ(locked->getValue(nullptr), E_POINTER);
}

TEST_F(PropertyTest, OnlyBitsThePinOffersMakeAProperty) {
  EXPECT_CALL(control, GetCaps(Eq(pin.self()), _))
      .WillOnce(Report<1>(VideoControlFlag_FlipHorizontal | VideoControlFlag_Trigger))
      .WillOnce(Report<1>(VideoControlFlag_FlipHorizontal))
      .WillOnce(Report<1>(0x3, E_FAIL));
  EXPECT_CALL(control, GetMode(_, _)).Times(0);
  auto horizontal = flipProperty(VideoControlFlag_FlipHorizontal);
  auto vertical = flipProperty(VideoControlFlag_FlipVertical);
  EXPECT_TRUE(horizontal->isSupported());
  EXPECT_FALSE(vertical->isSupported());
  EXPECT_FALSE(flipProperty(VideoControlFlag_FlipHorizontal)->isSupported());
  // No pin: the device is not asked about a null one.
  EXPECT_FALSE(VideoControlProperty("Flip", 2, filterRef(), nullptr).isSupported());
}

TEST_F(PropertyTest, ReadsAndWritesOneBitKeepingTheOthers) {
  EXPECT_CALL(control, GetCaps(_, _)).WillOnce(Report<1>(0x3));
  auto vertical = flipProperty(VideoControlFlag_FlipVertical);
  ASSERT_TRUE(vertical->isSupported());
  InSequence order;
  EXPECT_CALL(control, GetMode(Eq(pin.self()), _)).WillOnce(Report<1>(0x3));
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report<1>(0x3, E_FAIL));
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report<1>(0x1));
  EXPECT_CALL(control, SetMode(Eq(pin.self()), 0x3)).WillOnce(Return(S_OK));
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report<1>(0xB));
  EXPECT_CALL(control, SetMode(_, 0x9)).WillOnce(Return(E_INVALIDARG));
  // An unreadable mode is taken as 0.
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Return(E_FAIL));
  EXPECT_CALL(control, SetMode(_, 0x2)).WillOnce(Return(S_OK));
  long value = 9;
  EXPECT_EQ(vertical->getValue(&value), S_OK);
  EXPECT_EQ(value, 1);
  value = 9;
  EXPECT_EQ(vertical->getValue(&value), E_FAIL);
  EXPECT_EQ(value, 9);  // untouched on failure
  EXPECT_EQ(set(*vertical, 1), S_OK);
  EXPECT_EQ(set(*vertical, 2), E_INVALIDARG);  // anything but 1 clears the bit
  EXPECT_EQ(set(*vertical, 1), S_OK);
  EXPECT_EQ(vertical->setValue(nullptr), E_POINTER);
}

}  // namespace
}  // namespace kivo
