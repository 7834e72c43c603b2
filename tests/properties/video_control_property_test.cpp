#include <kivo/video_control_property.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "fake_filter_pin.h"
#include "support/mocks/iamvideocontrol.h"

namespace kivo {
namespace {

using test::FakeFilter;
using test::FakePin;
using test::MockAMVideoControl;
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

  std::unique_ptr<VideoControlProperty> make(const char* name, long flag) {
    return std::make_unique<VideoControlProperty>(name, flag, CComPtr<IBaseFilter>(&filter),
                                                  CComPtr<IPin>(pin.self()));
  }

  NiceMock<MockAMVideoControl> control;
  FakePin pin;
  FakeFilter filter;
};

TEST_F(VideoControlTest, OnlyBitsThePinOffersMakeAProperty) {
  EXPECT_CALL(control, GetCaps(Eq(pin.self()), _))
      .WillRepeatedly(Report(VideoControlFlag_FlipHorizontal | VideoControlFlag_Trigger));
  EXPECT_CALL(control, GetMode(_, _)).Times(0);
  auto horizontal = make("HorizontalFlip", VideoControlFlag_FlipHorizontal);
  auto vertical = make("VerticalFlip", VideoControlFlag_FlipVertical);
  EXPECT_TRUE(horizontal->isSupported());
  EXPECT_TRUE(horizontal->isSettable());
  EXPECT_EQ(horizontal->getFlag(), VideoControlFlag_FlipHorizontal);
  EXPECT_EQ(horizontal->getConstraints(), (std::map<std::string, long>{{"off", 0}, {"on", 1}}));
  EXPECT_EQ(horizontal->getDefaultValue(), 0);
  EXPECT_STREQ(horizontal->getDefaultName(), "off");
  EXPECT_EQ(horizontal->getDependentProperty(), nullptr);
  EXPECT_FALSE(vertical->isSupported());
  EXPECT_TRUE(vertical->getConstraints().empty());

  // Each property holds its own filter, interface and pin references and
  // gives each back once.
  EXPECT_EQ(control.refs(), 2);
  EXPECT_EQ(pin.refs(), 2);
  EXPECT_EQ(filter.refs(), 2);
  horizontal.reset();
  EXPECT_EQ(control.refs(), 1);
  EXPECT_EQ(pin.refs(), 1);
  EXPECT_EQ(filter.refs(), 1);
}

TEST_F(VideoControlTest, FailingCapsMissingInterfaceOrPinLeaveItUnsupported) {
  EXPECT_CALL(control, GetCaps(_, _)).WillOnce(Report(0x3, E_FAIL));
  auto failedCaps = make("VerticalFlip", VideoControlFlag_FlipVertical);
  EXPECT_FALSE(failedCaps->isSupported());

  // No pin: the device is not asked about a null one.
  EXPECT_CALL(control, GetCaps(_, _)).Times(0);
  VideoControlProperty noPin("VerticalFlip", VideoControlFlag_FlipVertical,
                             CComPtr<IBaseFilter>(&filter), nullptr);
  EXPECT_FALSE(noPin.isSupported());

  filter.refuse(IID_IAMVideoControl);
  auto noControl = make("VerticalFlip", VideoControlFlag_FlipVertical);
  EXPECT_FALSE(noControl->isSupported());
  long value = 5;
  EXPECT_EQ(noControl->getValue(&value), E_UNEXPECTED);
  EXPECT_EQ(noControl->setValue(&value), E_UNEXPECTED);
  EXPECT_EQ(value, 5);
}

TEST_F(VideoControlTest, ReadsAndWritesOneBitKeepingTheOthers) {
  EXPECT_CALL(control, GetCaps(_, _)).WillOnce(Report(0x3));
  auto vertical = make("VerticalFlip", VideoControlFlag_FlipVertical);
  ASSERT_TRUE(vertical->isSupported());

  InSequence order;
  EXPECT_CALL(control, GetMode(Eq(pin.self()), _)).WillOnce(Report(0x3));
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report(0x1));
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report(0x3, E_FAIL));
  // Writing 1 on mode 0x1 sets the bit; 0 and 2 clear it.
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report(0x1));
  EXPECT_CALL(control, SetMode(Eq(pin.self()), 0x3)).WillOnce(Return(S_OK));
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report(0x3));
  EXPECT_CALL(control, SetMode(_, 0x1)).WillOnce(Return(S_OK));
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Report(0xB));
  EXPECT_CALL(control, SetMode(_, 0x9)).WillOnce(Return(E_INVALIDARG));
  // An unreadable mode is taken as 0.
  EXPECT_CALL(control, GetMode(_, _)).WillOnce(Return(E_FAIL));
  EXPECT_CALL(control, SetMode(_, 0x2)).WillOnce(Return(S_OK));

  long value = 9;
  EXPECT_EQ(vertical->getValue(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(vertical->getValue(&value), S_OK);
  EXPECT_EQ(value, 0);
  value = 9;
  EXPECT_EQ(vertical->getValue(&value), E_FAIL);
  EXPECT_EQ(value, 9);  // untouched on failure

  value = 1;
  EXPECT_EQ(vertical->setValue(&value), S_OK);
  value = 0;
  EXPECT_EQ(vertical->setValue(&value), S_OK);
  value = 2;
  EXPECT_EQ(vertical->setValue(&value), E_INVALIDARG);
  value = 1;
  EXPECT_EQ(vertical->setValue(&value), S_OK);
  EXPECT_EQ(vertical->getValue(nullptr), E_POINTER);
  EXPECT_EQ(vertical->setValue(nullptr), E_POINTER);
}

}  // namespace
}  // namespace kivo
