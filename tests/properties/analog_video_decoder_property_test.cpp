#include <kivo/analog_video_decoder_property.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "fake_filter_pin.h"
#include "support/mocks/iamanalogvideodecoder.h"

namespace kivo {
namespace {

using test::FakeFilter;
using test::MockAMAnalogVideoDecoder;
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
    return std::make_unique<AnalogVideoDecoderProperty>(name, CComPtr<IBaseFilter>(&filter));
  }

  // A TV-standard property over a decoder reporting `current` and
  // `available`.
  std::unique_ptr<AnalogVideoDecoderProperty> makeFormat(long current, long available) {
    EXPECT_CALL(decoder, get_TVFormat(_)).WillOnce(Report(current));
    EXPECT_CALL(decoder, get_AvailableTVFormats(_)).WillOnce(Report(available));
    return make("AnalogVideoFormat");
  }

  NiceMock<MockAMAnalogVideoDecoder> decoder;
  FakeFilter filter;
};

TEST_F(AnalogVideoDecoderTest, OffersTheCurrentStandardAndTheAvailableOnes) {
  auto ntsc = makeFormat(AnalogVideo_NTSC_M, 0x1 | 0x10 | 0x1000);
  EXPECT_TRUE(ntsc->isSupported());
  EXPECT_TRUE(ntsc->isSettable());
  EXPECT_EQ(ntsc->getConstraints(), (Constraints{{"ntsc_m", 1}, {"pal_b", 16}, {"secam_b", 4096}}));
  EXPECT_EQ(ntsc->getDefaultValue(), 1);
  EXPECT_STREQ(ntsc->getDefaultName(), "ntsc_m");

  auto none = makeFormat(0, 0x10 | 0x100);
  EXPECT_EQ(none->getConstraints(), (Constraints{{"none", 0}, {"pal_b", 16}, {"pal_i", 256}}));
  EXPECT_STREQ(none->getDefaultName(), "none");

  // Nothing available besides the current standard still makes a property.
  auto palOnly = makeFormat(AnalogVideo_PAL_B, 0);
  EXPECT_TRUE(palOnly->isSupported());
  EXPECT_EQ(palOnly->getConstraints(), (Constraints{{"pal_b", 16}}));
}

TEST_F(AnalogVideoDecoderTest, UnnamedStandardsAreUnknownAndPalGIsNeverOffered) {
  auto palG = makeFormat(AnalogVideo_PAL_G, AnalogVideo_PAL_G | AnalogVideo_NTSC_M);
  EXPECT_EQ(palG->getConstraints(), (Constraints{{"ntsc_m", 1}, {"unknown", 0x40}}));
  EXPECT_STREQ(palG->getDefaultName(), "unknown");

  auto mixed = makeFormat(0x11, 0x11);
  EXPECT_EQ(mixed->getConstraints(),
            (Constraints{{"ntsc_m", 1}, {"pal_b", 16}, {"unknown", 0x11}}));
  EXPECT_STREQ(mixed->getDefaultName(), "unknown");

  // Every bit available: the twenty named standards, "none" being the
  // current one, and no "unknown" for PAL_G.
  auto all = makeFormat(0, 0x1FFFFF);
  EXPECT_EQ(all->getConstraints(),
            (Constraints{{"none", 0x0},         {"ntsc_m", 0x1},          {"ntsc_m_j", 0x2},
                         {"ntsc_433", 0x4},     {"pal_b", 0x10},          {"pal_d", 0x20},
                         {"pal_h", 0x80},       {"pal_i", 0x100},         {"pal_m", 0x200},
                         {"pal_n", 0x400},      {"pal_60", 0x800},        {"secam_b", 0x1000},
                         {"secam_d", 0x2000},   {"secam_g", 0x4000},      {"secam_h", 0x8000},
                         {"secam_k", 0x10000},  {"secam_k1", 0x20000},    {"secam_l", 0x40000},
                         {"secam_l1", 0x80000}, {"pal_n_combo", 0x100000}}));
}

TEST_F(AnalogVideoDecoderTest, DeviceFailuresOrUnknownNamesLeaveItUnsupported) {
  EXPECT_CALL(decoder, get_TVFormat(_)).WillOnce(Report(1));
  EXPECT_CALL(decoder, get_AvailableTVFormats(_)).WillOnce(Return(E_NOTIMPL));
  auto noList = make("AnalogVideoFormat");
  EXPECT_FALSE(noList->isSupported());
  EXPECT_TRUE(noList->getConstraints().empty());

  EXPECT_CALL(decoder, get_OutputEnable(_)).WillOnce(Return(E_FAIL));
  auto failedRead = make("OutputEnable");
  EXPECT_FALSE(failedRead->isSupported());

  // Names are matched exactly; an unknown one asks the decoder nothing.
  EXPECT_CALL(decoder, get_HorizontalLocked(_)).Times(0);
  auto lowerCase = make("horizontallocked");
  EXPECT_FALSE(lowerCase->isSupported());
  long value = 0;
  EXPECT_EQ(lowerCase->getValue(&value), E_UNEXPECTED);
  EXPECT_EQ(lowerCase->setValue(&value), E_UNEXPECTED);

  noList.reset();
  failedRead.reset();
  lowerCase.reset();
  EXPECT_EQ(decoder.refs(), 0);
  EXPECT_EQ(filter.refs(), 0);

  filter.refuse(IID_IAMAnalogVideoDecoder);
  auto noDecoder = make("OutputEnable");
  EXPECT_FALSE(noDecoder->isSupported());
  AnalogVideoDecoderProperty noFilter("OutputEnable", nullptr);
  EXPECT_FALSE(noFilter.isSupported());
}

TEST_F(AnalogVideoDecoderTest, FlagsAndLockingReadAndWriteThroughTheirOwnCalls) {
  EXPECT_CALL(decoder, get_OutputEnable(_)).WillOnce(Report(1)).WillOnce(Report(0, S_FALSE));
  EXPECT_CALL(decoder, put_OutputEnable(5)).WillOnce(Return(E_INVALIDARG));
  auto output = make("OutputEnable");
  EXPECT_TRUE(output->isSupported());
  EXPECT_TRUE(output->isSettable());
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
  EXPECT_TRUE(locking->isSettable());
  ASSERT_EQ(locking->getConstraints().size(), 2u);
  EXPECT_EQ(locking->getConstraints().begin()->first, "broadcast");
  EXPECT_EQ(locking->getConstraints().at("tape"), 1);
  EXPECT_STREQ(locking->getDefaultName(), "tape");
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

  EXPECT_EQ(decoder.refs(), 3);
  EXPECT_EQ(filter.refs(), 3);
}

TEST_F(AnalogVideoDecoderTest, HorizontalLockedIsReadOnly) {
  EXPECT_CALL(decoder, get_HorizontalLocked(_)).WillOnce(Report(0)).WillOnce(Report(1));
  auto locked = make("HorizontalLocked");
  EXPECT_TRUE(locked->isSupported());
  EXPECT_FALSE(locked->isSettable());
  EXPECT_EQ(locked->getConstraints(), (Constraints{{"off", 0}, {"on", 1}}));
  EXPECT_STREQ(locked->getDefaultName(), "off");
  long value = 0;
  EXPECT_EQ(locked->getValue(&value), S_OK);
  EXPECT_EQ(value, 1);

  // Writing touches nothing on the decoder.
  EXPECT_CALL(decoder, put_OutputEnable(_)).Times(0);
  EXPECT_CALL(decoder, put_VCRHorizontalLocking(_)).Times(0);
  EXPECT_CALL(decoder, put_TVFormat(_)).Times(0);
  value = 1;
  EXPECT_EQ(locked->setValue(&value), E_FAIL);
  EXPECT_EQ(locked->getValue(nullptr), E_POINTER);
  EXPECT_EQ(locked->setValue(nullptr), E_POINTER);
}

}  // namespace
}  // namespace kivo
