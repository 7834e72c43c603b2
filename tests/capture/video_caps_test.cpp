// A capture pin's format list: what is read, what is skipped; every media type handed out is freed.

#include "fake_capture_device.h"

#include <string>

namespace kivo::test {
namespace {

const BITMAPINFOHEADER& bitmapOf(const VideoCapability& capability) {
  return reinterpret_cast<const VIDEOINFOHEADER*>(CapAccess::mediaType(capability)->pbFormat)
      ->bmiHeader;
}

std::vector<std::string> names(const VideoCaps& caps) {
  std::vector<std::string> result;
  for (const VideoCapability& c : caps.getCapabilityList()) result.push_back(c.getFullName());
  return result;
}

TEST(VideoCapability, SizesComeFromTheCapsOrTheHeaderWithAZeroMaximumAndTopDownRows) {
  CMediaType type = videoType(MEDIASUBTYPE_YUY2, 320, 240);
  VIDEO_STREAM_CONFIG_CAPS caps = capsOf(640, 480, 160, 120);
  VideoCapability capability = CapAccess::make(&type, 7, &caps);
  EXPECT_EQ(capability.getMinWidth(), 160);
  EXPECT_EQ(capability.getMinHeight(), 120);
  EXPECT_STREQ(capability.getFullName(), "YUY2_640x480");
  // The stored copy announces the maximum; the source is untouched.
  EXPECT_EQ(bitmapOf(capability).biWidth, 640);
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader.biWidth, 320);
  caps = capsOf(0, 0, 0, 240);
  VideoCapability zero = CapAccess::make(&type, 0, &caps);
  EXPECT_STREQ(zero.getFullName(), "YUY2_0x0");
  EXPECT_EQ(bitmapOf(zero).biWidth, 0);

  // A top-down header is stored with a positive height but keeps its row order, with caps too.
  type = videoType(MEDIASUBTYPE_RGB24, 640, -480);
  VideoCapability topDown = CapAccess::make(&type, 0, nullptr);
  EXPECT_EQ(topDown.getMinHeight(), 480);
  EXPECT_EQ(bitmapOf(topDown).biHeight, 480);
  EXPECT_STREQ(topDown.getFullName(), "RGB24_640x480");
  caps = capsOf(800, 600, 800, 600);
  EXPECT_FALSE(CapAccess::make(&type, 0, &caps).getSubtype().isBottomUp());
  CMediaType bottomUp = videoType(MEDIASUBTYPE_RGB24, 640, 480);
  EXPECT_TRUE(CapAccess::make(&bottomUp, 0, &caps).getSubtype().isBottomUp());
}

// Failing indexes and odd caps sizes are skipped, no list is the current format; all types freed.
TEST(VideoCaps, ListsStreamCapsSkippingFailuresAndFallsBackToTheCurrentFormat) {
  ComFake<IUnknown> unknown;  // declared first: at its end, every type handed out must be freed
  FakeCaptureDevice device, odd, empty;  // `empty` reports a count of 0
  for (LONG width : {640, 320, 200, 160}) {
    device.formats.push_back(videoType(MEDIASUBTYPE_YUY2, width, 240));
    (device.formats.back().pUnk = &unknown)->AddRef();
  }
  EXPECT_CALL(device.config, GetStreamCaps(_, _, _)).Times(3);
  EXPECT_CALL(device.config, GetStreamCaps(2, _, _)).WillOnce(Return(E_FAIL));
  auto caps = CapsAccess::make();
  CapsAccess::initialize(*caps, &device.capturePin);
  EXPECT_EQ(names(*caps),
            (std::vector<std::string>{"YUY2_640x240", "YUY2_320x240", "YUY2_160x240"}));
  EXPECT_EQ(caps->getCapabilityList()[2].getCapabilityID(), 3);
  EXPECT_EQ(device.config.refs(), 0);

  odd.formats.push_back(videoType(MEDIASUBTYPE_YUY2, 640, 480));
  ON_CALL(odd.config, GetNumberOfCapabilities).WillByDefault([](int* count, int* size) {
    return *count = 1, *size = 64, S_OK;
  });
  EXPECT_CALL(odd.config, GetStreamCaps).Times(0);
  EXPECT_CALL(odd.config, GetFormat).Times(0);
  auto oddCaps = CapsAccess::make();
  CapsAccess::initialize(*oddCaps, &odd.capturePin);
  EXPECT_EQ(oddCaps->getNumberOfCapabilities(), 0);

  CMediaType current = videoType(MEDIASUBTYPE_UYVY, 720, 576);
  EXPECT_CALL(empty.config, GetFormat)
      .WillOnce([&](AM_MEDIA_TYPE** out) { return *out = CreateMediaType(&current), S_OK; })
      .WillOnce(Return(E_FAIL));
  CapsAccess::initialize(*oddCaps, &empty.capturePin);
  EXPECT_EQ(names(*oddCaps), (std::vector<std::string>{"UYVY_720x576"}));
  EXPECT_EQ(oddCaps->getCapabilityList()[0].getCapabilityID(), 0);
  CapsAccess::initialize(*oddCaps, &empty.capturePin);  // the list is kept, the pin held once
  EXPECT_EQ(oddCaps->getNumberOfCapabilities(), 1);
  EXPECT_EQ(odd.capturePin.refs(), 0);
  EXPECT_EQ(empty.capturePin.refs(), 1);
  oddCaps.reset();
  caps.reset();
}

}  // namespace
}  // namespace kivo::test
