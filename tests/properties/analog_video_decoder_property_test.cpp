#include <kivo/analog_video_decoder_property.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "support/mocks/iamanalogvideodecoder.h"
#include "support/mocks/ibasefilter.h"

namespace kivo {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgPointee;
using Constraints = std::map<std::string, long>;

auto Report(long value, HRESULT status = S_OK) {
  return DoAll(SetArgPointee<0>(value), Return(status));
}

class AnalogVideoDecoderTest : public ::testing::Test {
 protected:
  AnalogVideoDecoderTest() { filter.answer(IID_IAMAnalogVideoDecoder, decoder.self()); }

  std::unique_ptr<AnalogVideoDecoderProperty> make(const char* name) {
    return std::make_unique<AnalogVideoDecoderProperty>(name, CComPtr<IBaseFilter>(filter.self()));
  }
  // A TV-standard property over a decoder reporting `current` and `available`.
  std::unique_ptr<AnalogVideoDecoderProperty> makeFormat(long current, long available) {
    EXPECT_CALL(decoder, get_TVFormat(_)).WillOnce(Report(current));
    EXPECT_CALL(decoder, get_AvailableTVFormats(_)).WillOnce(Report(available));
    return make("AnalogVideoFormat");
  }

  NiceMock<test::MockAMAnalogVideoDecoder> decoder;
  NiceMock<test::MockBaseFilter> filter;
};

// The current standard and the available ones; unnamed bits are "unknown"
// and PAL_G is never offered by name.
TEST_F(AnalogVideoDecoderTest, OffersTheCurrentStandardAndTheAvailableOnes) {
  auto ntsc = makeFormat(AnalogVideo_NTSC_M, 0x1 | 0x10 | 0x1000);
  EXPECT_EQ(ntsc->getConstraints(), (Constraints{{"ntsc_m", 1}, {"pal_b", 16}, {"secam_b", 4096}}));
  EXPECT_STREQ(ntsc->getDefaultName(), "ntsc_m");
  auto none = makeFormat(0, 0x100000);
  EXPECT_EQ(none->getConstraints(), (Constraints{{"none", 0}, {"pal_n_combo", 0x100000}}));
  auto palOnly = makeFormat(AnalogVideo_PAL_B, 0);
  EXPECT_TRUE(palOnly->isSupported());
  EXPECT_EQ(palOnly->getConstraints(), (Constraints{{"pal_b", 16}}));
  auto palG = makeFormat(AnalogVideo_PAL_G, AnalogVideo_PAL_G | AnalogVideo_NTSC_M);
  EXPECT_EQ(palG->getConstraints(), (Constraints{{"ntsc_m", 1}, {"unknown", 0x40}}));
  auto mixed = makeFormat(0x11, 0x11);
  EXPECT_EQ(mixed->getConstraints(), (Constraints{{"ntsc_m", 1}, {"pal_b", 16}, {"unknown", 0x11}}));
  auto all = makeFormat(0, 0x1FFFFF);
  EXPECT_EQ(all->getConstraints().size(), 20u);
  EXPECT_EQ(all->getConstraints().count("unknown"), 0u);
}

TEST_F(AnalogVideoDecoderTest, DeviceFailuresOrUnknownNamesLeaveItUnsupported) {
  EXPECT_CALL(decoder, get_TVFormat(_)).WillOnce(Report(1));
  EXPECT_CALL(decoder, get_AvailableTVFormats(_)).WillOnce(Return(E_NOTIMPL));
  EXPECT_FALSE(make("AnalogVideoFormat")->isSupported());
  EXPECT_CALL(decoder, get_OutputEnable(_)).WillOnce(Return(E_FAIL));
  EXPECT_FALSE(make("OutputEnable")->isSupported());
  // Names are matched exactly; an unknown one asks the decoder nothing.
  EXPECT_CALL(decoder, get_HorizontalLocked(_)).Times(0);
  auto lowerCase = make("horizontallocked");
  EXPECT_FALSE(lowerCase->isSupported());
  long value = 0;
  EXPECT_EQ(lowerCase->getValue(&value), E_UNEXPECTED);
  EXPECT_EQ(lowerCase->setValue(&value), E_UNEXPECTED);
  lowerCase.reset();
  EXPECT_EQ(decoder.refs(), 0);
  EXPECT_EQ(filter.refs(), 0);
  filter.refuse(IID_IAMAnalogVideoDecoder);
  EXPECT_FALSE(make("OutputEnable")->isSupported());
}

TEST_F(AnalogVideoDecoderTest, EachSettingReadsAndWritesThroughItsOwnCalls) {
  EXPECT_CALL(decoder, get_OutputEnable(_)).WillOnce(Report(1)).WillOnce(Report(0, S_FALSE));
  EXPECT_CALL(decoder, put_OutputEnable(5)).WillOnce(Return(E_INVALIDARG));
  auto output = make("OutputEnable");
  EXPECT_EQ(output->getConstraints(), (Constraints{{"off", 0}, {"on", 1}}));
  EXPECT_STREQ(output->getDefaultName(), "on");
  long value = 7;
  EXPECT_EQ(output->getValue(&value), S_FALSE);
  EXPECT_EQ(value, 0);
  value = 5;  // passed on unchecked
  EXPECT_EQ(output->setValue(&value), E_INVALIDARG);

  EXPECT_CALL(decoder, get_VCRHorizontalLocking(_)).WillOnce(Report(1));
  EXPECT_CALL(decoder, put_VCRHorizontalLocking(0)).WillOnce(Return(S_OK));
  auto locking = make("VCRHorizontalLocking");
  EXPECT_EQ(locking->getConstraints(), (Constraints{{"broadcast", 0}, {"tape", 1}}));
  value = 0;
  EXPECT_EQ(locking->setValue(&value), S_OK);

  EXPECT_CALL(decoder, get_TVFormat(_)).WillOnce(Report(1)).WillOnce(Report(0x10));
  EXPECT_CALL(decoder, get_AvailableTVFormats(_)).WillOnce(Report(0x11));
  EXPECT_CALL(decoder, put_TVFormat(0x1000)).WillOnce(Return(VFW_E_INVALIDMEDIATYPE));
  auto format = make("AnalogVideoFormat");
  EXPECT_EQ(format->getValue(&value), S_OK);
  EXPECT_EQ(value, 0x10);
  value = 0x1000;  // not among the constraints: the decoder judges
  EXPECT_EQ(format->setValue(&value), VFW_E_INVALIDMEDIATYPE);

  // HorizontalLocked is read-only: writing touches nothing.
  EXPECT_CALL(decoder, get_HorizontalLocked(_)).WillOnce(Report(0)).WillOnce(Report(1));
  EXPECT_CALL(decoder, put_OutputEnable(_)).Times(0);
  EXPECT_CALL(decoder, put_TVFormat(_)).Times(0);
  auto locked = make("HorizontalLocked");
  EXPECT_FALSE(locked->isSettable());
  EXPECT_STREQ(locked->getDefaultName(), "off");
  EXPECT_EQ(locked->getValue(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(locked->setValue(&value), E_FAIL);
  EXPECT_EQ(locked->getValue(nullptr), E_POINTER);
  EXPECT_EQ(decoder.refs(), 4);
}

}  // namespace
}  // namespace kivo
