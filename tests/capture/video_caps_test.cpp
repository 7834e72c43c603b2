// The format list of a capture pin: what is read from the stream configuration, what is
// skipped, and that every media type handed out is freed.

#include "fake_capture_device.h"

#include <string>

namespace kivo::test {
namespace {

using ::testing::_;
using ::testing::Return;

// Stands in for the pUnk of reported media types: a copy left unfreed leaks a reference.
using FakeUnknown = ComFake<IUnknown>;

CMediaType counted(CMediaType type, IUnknown* unknown) {
  (type.pUnk = unknown)->AddRef();
  return type;
}

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
  EXPECT_EQ(bitmapOf(capability).biSizeImage, 1234u);
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader.biWidth, 320);

  caps = capsOf(0, 0, 320, 240);
  EXPECT_STREQ(CapAccess::make(&type, 0, &caps).getFullName(), "YUY2_320x240");
  caps = capsOf(0, 0, 0, 240);
  VideoCapability zero = CapAccess::make(&type, 0, &caps);
  EXPECT_EQ(zero.getMaxWidth(), 0);
  EXPECT_EQ(zero.getMaxHeight(), 0);
  EXPECT_EQ(zero.getMinHeight(), 240);
  EXPECT_STREQ(zero.getFullName(), "YUY2_0x0");
  EXPECT_EQ(bitmapOf(zero).biWidth, 0);

  // A top-down header is stored with a positive height but keeps its row order, with caps too.
  type = videoType(MEDIASUBTYPE_RGB24, 640, -480);
  VideoCapability topDown = CapAccess::make(&type, 0, nullptr);
  EXPECT_EQ(topDown.getMaxHeight(), 480);
  EXPECT_EQ(topDown.getMinHeight(), 480);
  EXPECT_EQ(bitmapOf(topDown).biHeight, 480);
  EXPECT_FALSE(topDown.getSubtype().isBottomUp());
  EXPECT_STREQ(topDown.getFullName(), "RGB24_640x480");
  caps = capsOf(800, 600, 800, 600);
  EXPECT_FALSE(CapAccess::make(&type, 0, &caps).getSubtype().isBottomUp());
  CMediaType bottomUp = videoType(MEDIASUBTYPE_RGB24, 640, 480);
  EXPECT_TRUE(CapAccess::make(&bottomUp, 0, &caps).getSubtype().isBottomUp());
}

TEST(VideoCaps, ListsStreamCapsSkippingVideoInfo2AndFailingIndexes) {
  FakeUnknown unknown;  // declared first: at its end, every type handed out must be freed
  FakeCaptureDevice device;
  for (const CMediaType& type :
       {videoType(MEDIASUBTYPE_YUY2, 640, 480),
        videoType(MEDIASUBTYPE_YUY2, 640, 480, 0, FORMAT_VideoInfo2),
        videoType(MEDIASUBTYPE_YUY2, 320, 240), videoType(MEDIASUBTYPE_RGB24, 640, 480),
        videoType(MEDIASUBTYPE_RGB24, 160, 120)})
    device.formats.push_back(counted(type, &unknown));
  EXPECT_CALL(device.config, GetStreamCaps(_, _, _)).Times(4);
  EXPECT_CALL(device.config, GetStreamCaps(3, _, _)).WillOnce(Return(E_FAIL));

  auto caps = CapsAccess::make();
  CapsAccess::initialize(*caps, &device.capturePin);
  EXPECT_EQ(names(*caps),
            (std::vector<std::string>{"YUY2_640x480", "YUY2_320x240", "RGB24_160x120"}));
  EXPECT_EQ(caps->getCapabilityList()[2].getCapabilityID(), 4);
  EXPECT_EQ(device.config.refs(), 0);
  EXPECT_EQ(device.capturePin.refs(), 1);
}

TEST(VideoCaps, AnOddCapsStructureSizeIsNotReadAndNoListMeansTheCurrentFormat) {
  FakeCaptureDevice odd, empty;  // `empty` reports a count of 0
  odd.formats.push_back(videoType(MEDIASUBTYPE_YUY2, 640, 480));
  ON_CALL(odd.config, GetNumberOfCapabilities).WillByDefault([](int* count, int* size) {
    return *count = 1, *size = 64, S_OK;
  });
  EXPECT_CALL(odd.config, GetStreamCaps).Times(0);
  EXPECT_CALL(odd.config, GetFormat).Times(0);
  auto caps = CapsAccess::make();
  CapsAccess::initialize(*caps, &odd.capturePin);
  EXPECT_EQ(caps->getNumberOfCapabilities(), 0);

  CMediaType current = videoType(MEDIASUBTYPE_UYVY, 720, 576);
  EXPECT_CALL(empty.config, GetFormat)
      .WillOnce([&](AM_MEDIA_TYPE** out) { return *out = CreateMediaType(&current), S_OK; })
      .WillOnce(Return(E_FAIL));
  CapsAccess::initialize(*caps, &empty.capturePin);
  EXPECT_EQ(names(*caps), (std::vector<std::string>{"UYVY_720x576"}));
  EXPECT_EQ(caps->getCapabilityList()[0].getCapabilityID(), 0);
  CapsAccess::initialize(*caps, &empty.capturePin);  // the list is kept, the pin held once
  EXPECT_EQ(caps->getNumberOfCapabilities(), 1);
  EXPECT_EQ(odd.capturePin.refs(), 0);
  EXPECT_EQ(empty.capturePin.refs(), 1);
  caps.reset();
}

}  // namespace
}  // namespace kivo::test
