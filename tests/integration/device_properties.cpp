// A host's view of the device properties: the class templates and the
// concrete properties are reached through kivo.dll alone, and a real
// DirectShow filter without any device interface yields unsupported
// properties that give back every reference they took.

#include <kivo/analog_video_decoder_property.h>
#include <kivo/comptr.h>
#include <kivo/tmode_property.h>
#include <kivo/trange_mode_property.h>
#include <kivo/trange_property.h>
#include <kivo/video_control_property.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "properties/fake_filter_pin.h"
#include "support/mocks/iamvideoprocamp.h"
#include "support/wait.h"

namespace kivo {
namespace {

using test::MockAMVideoProcAmp;
using ::testing::_;
using ::testing::DoAll;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgPointee;

ULONG countReferences(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST(DeviceProperties, HostReachesTheTemplateInstantiationsThroughTheDll) {
  NiceMock<MockAMVideoProcAmp> procAmp;
  EXPECT_CALL(procAmp, GetRange(VideoProcAmp_Gain, _, _, _, _, _))
      .WillOnce(DoAll(SetArgPointee<1>(0), SetArgPointee<2>(255), SetArgPointee<3>(1),
                      SetArgPointee<4>(300), SetArgPointee<5>(3), Return(S_OK)));
  EXPECT_CALL(procAmp, Get(VideoProcAmp_Gain, _, _))
      .WillRepeatedly(DoAll(SetArgPointee<1>(42), SetArgPointee<2>(1), Return(S_OK)));
  EXPECT_CALL(procAmp, Set(VideoProcAmp_Gain, 42, 2)).WillOnce(Return(S_OK));

  test::FakeFilter device;
  device.answer(IID_IAMVideoProcAmp, procAmp.self());

  std::unique_ptr<BaseProperty> gain(new TRangeProperty<IAMVideoProcAmp>(
      "Gain", VideoProcAmp_Gain, CComPtr<IBaseFilter>(&device)));
  auto* ranged = dynamic_cast<TRangeProperty<IAMVideoProcAmp>*>(gain.get());
  ASSERT_NE(ranged, nullptr);
  EXPECT_EQ(dynamic_cast<TRangeProperty<IAMCameraControl>*>(gain.get()), nullptr);
  ASSERT_TRUE(gain->isSupported());
  long minimum, maximum, step, defaultValue, caps;
  ranged->getRange(minimum, maximum, step, defaultValue, caps);
  EXPECT_EQ(defaultValue, 255);

  std::unique_ptr<BaseProperty> gainMode(gain->getDependentProperty());
  auto* mode = dynamic_cast<IRangeModeProperty*>(gainMode.get());
  ASSERT_NE(mode, nullptr);
  EXPECT_NE(dynamic_cast<TRangeModeProperty<IAMVideoProcAmp>*>(gainMode.get()), nullptr);
  EXPECT_STREQ(mode->getName(), "GainMode");
  EXPECT_EQ(mode->getRangeProperty(), gain.get());
  EXPECT_STREQ(mode->getDefaultName(), "auto");

  long value = 0;
  EXPECT_EQ(gain->getValue(&value), S_OK);
  EXPECT_EQ(value, 42);
  value = 2;
  EXPECT_EQ(gainMode->setValue(&value), S_OK);

  gain.reset();
  gainMode.reset();
  EXPECT_EQ(procAmp.refs(), 0);
  EXPECT_EQ(device.refs(), 0);
}

TEST(DeviceProperties, FilterWithoutDeviceInterfacesGivesUnsupportedProperties) {
  test::ComScope com;
  ASSERT_TRUE(SUCCEEDED(com.status()));
  CComPtr<IBaseFilter> renderer;
  ASSERT_EQ(renderer.CoCreateInstance(CLSID_NullRenderer), S_OK);
  CComPtr<IEnumPins> pins;
  ASSERT_EQ(renderer->EnumPins(&pins), S_OK);
  CComPtr<IPin> pin;
  ASSERT_EQ(pins->Next(1, &pin, nullptr), S_OK);
  const ULONG filterRefs = countReferences(renderer);
  const ULONG pinRefs = countReferences(pin);
  {
    TRangeProperty<IAMCameraControl> zoom("Zoom", CameraControl_Zoom, renderer);
    TRangeProperty<IAMVideoProcAmp> hue("Hue", VideoProcAmp_Hue, renderer);
    TModeProperty<IAMVideoProcAmp> color("ColorEnable", VideoProcAmp_ColorEnable, renderer);
    AnalogVideoDecoderProperty format("AnalogVideoFormat", renderer);
    VideoControlProperty flip("HorizontalFlip", VideoControlFlag_FlipHorizontal, renderer, pin);
    for (const BaseProperty* p :
         std::initializer_list<const BaseProperty*>{&zoom, &hue, &color, &format, &flip}) {
      EXPECT_FALSE(p->isSupported()) << p->getName();
      EXPECT_EQ(p->getDependentProperty(), nullptr) << p->getName();
    }
    // Wine's renderer pins count their references with the filter's, so
    // the six references taken show on both counts.
    EXPECT_GE(countReferences(renderer), filterRefs + 5);
    EXPECT_GE(countReferences(pin), pinRefs + 1);
  }
  EXPECT_EQ(countReferences(renderer), filterRefs);
  EXPECT_EQ(countReferences(pin), pinRefs);
}

}  // namespace
}  // namespace kivo
