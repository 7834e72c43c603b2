#include <kivo/video_control_property.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "support/mocks/iamvideocontrol.h"
#include "support/mocks/ibasefilter.h"
#include "support/mocks/ipin.h"

namespace kivo {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::Eq;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgPointee;

auto Report(long value, HRESULT status = S_OK) {
  return DoAll(SetArgPointee<1>(value), Return(status));
}

class VideoControlTest : public ::testing::Test {
 protected:
  VideoControlTest() { filter.answer(IID_IAMVideoControl, control.self()); }
  std::unique_ptr<VideoControlProperty> make(long flag) {
    return std::make_unique<VideoControlProperty>("Flip", flag, CComPtr<IBaseFilter>(filter.self()),
                                                  CComPtr<IPin>(pin.self()));
  }

  NiceMock<test::MockAMVideoControl> control;
  NiceMock<test::MockPin> pin;
  NiceMock<test::MockBaseFilter> filter;
};

TEST_F(VideoControlTest, OnlyBitsThePinOffersMakeAProperty) {
  EXPECT_CALL(control, GetCaps(Eq(pin.self()), _))
      .WillOnce(Report(VideoControlFlag_FlipHorizontal | VideoControlFlag_Trigger))
      .WillOnce(Report(VideoControlFlag_FlipHorizontal))
      .WillOnce(Report(0x3, E_FAIL));
  EXPECT_CALL(control, GetMode(_, _)).Times(0);
  auto horizontal = make(VideoControlFlag_FlipHorizontal);
  auto vertical = make(VideoControlFlag_FlipVertical);
  EXPECT_TRUE(horizontal->isSupported());
  EXPECT_STREQ(horizontal->getDefaultName(), "off");
  EXPECT_FALSE(vertical->isSupported());
  EXPECT_FALSE(make(VideoControlFlag_FlipHorizontal)->isSupported());
  // Each property holds its own filter, interface and pin references.
  EXPECT_EQ(control.refs(), 2);
  EXPECT_EQ(pin.refs(), 2);
  horizontal.reset();
  EXPECT_EQ(control.refs(), 1);
  EXPECT_EQ(pin.refs(), 1);
  EXPECT_EQ(filter.refs(), 1);

  // No pin: the device is not asked about a null one.
  VideoControlProperty noPin("Flip", VideoControlFlag_FlipVertical,
                             CComPtr<IBaseFilter>(filter.self()), nullptr);
  EXPECT_FALSE(noPin.isSupported());
  filter.refuse(IID_IAMVideoControl);
  auto noControl = make(VideoControlFlag_FlipVertical);
  long value = 5;
  EXPECT_EQ(noControl->getValue(&value), E_UNEXPECTED);
  EXPECT_EQ(noControl->setValue(&value), E_UNEXPECTED);
  EXPECT_EQ(value, 5);
}

TEST_F(VideoControlTest, ReadsAndWritesOneBitKeepingTheOthers) {
  EXPECT_CALL(control, GetCaps(_, _)).WillOnce(Report(0x3));
  auto vertical = make(VideoControlFlag_FlipVertical);
  ASSERT_TRUE(vertical->isSupported());
  InSequence order;
  EXPECT_CALL(control, GetMode(Eq(pin.self()), _)).WillOnce(Report(0x3));
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report(0x3, E_FAIL));
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report(0x1));
  EXPECT_CALL(control, SetMode(Eq(pin.self()), 0x3)).WillOnce(Return(S_OK));
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report(0xB));
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
  value = 1;
  EXPECT_EQ(vertical->setValue(&value), S_OK);
  value = 2;  // anything but 1 clears the bit
  EXPECT_EQ(vertical->setValue(&value), E_INVALIDARG);
  value = 1;
  EXPECT_EQ(vertical->setValue(&value), S_OK);
  EXPECT_EQ(vertical->setValue(nullptr), E_POINTER);
}

}  // namespace
}  // namespace kivo
