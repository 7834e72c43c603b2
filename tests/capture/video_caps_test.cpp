#include <kivo/mediatype.h>
#include <kivo/video_caps.h>

#include <dvdmedia.h>

#include "capture/fourcc.h"
#include "caps_access.h"
#include "support/com_fake.h"
#include "support/mocks/iamstreamconfig.h"
#include "support/mocks/ienummediatypes.h"
#include "support/mocks/ipin.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kivo {

namespace {

using test::ComFake;
using test::HandOut;
using test::MockAMStreamConfig;
using test::MockEnumMediaTypes;
using test::MockPin;
using ::testing::_;
using ::testing::NiceMock;
using ::testing::Return;
using CapAccess = TestAccess<VideoCapability>;
using CapsAccess = TestAccess<VideoCaps>;

static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128, "the structure size drivers report");

// Stands in for the pUnk of reported media types: every copy kivo keeps adds
// a reference, so a type kivo forgets to free shows up as a leaked reference.
class FakeUnknown : public ComFake<IPersist> {
 public:
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
    *id = GUID_NULL;
    return S_OK;
  }
};

CMediaType videoType(const GUID& subtype, LONG width, LONG height, IUnknown* unknown = nullptr) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_VideoInfo);
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = height;
  vih->bmiHeader.biBitCount = 16;
  vih->bmiHeader.biSizeImage = 1234;
  vih->AvgTimePerFrame = 333333;
  type.SetSampleSize(1234);
  if (unknown) {
    type.pUnk = unknown;
    unknown->AddRef();
  }
  return type;
}

CMediaType videoInfo2Type(LONG width, LONG height) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&MEDIASUBTYPE_YUY2);
  type.SetFormatType(&FORMAT_VideoInfo2);
  auto* vih = reinterpret_cast<VIDEOINFOHEADER2*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
  vih->bmiHeader.biWidth = width;
  vih->bmiHeader.biHeight = height;
  return type;
}

VIDEO_STREAM_CONFIG_CAPS capsOf(LONG maxW, LONG maxH, LONG minW, LONG minH) {
  VIDEO_STREAM_CONFIG_CAPS caps = {};
  caps.guid = FORMAT_VideoInfo;
  caps.MaxOutputSize = {maxW, maxH};
  caps.MinOutputSize = {minW, minH};
  return caps;
}

const VIDEOINFOHEADER* headerOf(const VideoCapability& capability) {
  return reinterpret_cast<const VIDEOINFOHEADER*>(CapAccess::mediaType(capability)->pbFormat);
}

// A pin with a stream configuration that reports a list of capabilities.
struct ConfiguredPin {
  NiceMock<MockPin> pin;
  NiceMock<MockAMStreamConfig> config;
  std::vector<CMediaType> types;
  std::vector<VIDEO_STREAM_CONFIG_CAPS> caps;

  ConfiguredPin() { pin.answer(IID_IAMStreamConfig, &config); }

  void report(int size = sizeof(VIDEO_STREAM_CONFIG_CAPS)) {
    ON_CALL(config, GetNumberOfCapabilities)
        .WillByDefault([this, size](int* count, int* structureSize) {
          *count = static_cast<int>(types.size());
          *structureSize = size;
          return S_OK;
        });
    ON_CALL(config, GetStreamCaps).WillByDefault([this](int index, AM_MEDIA_TYPE** out, BYTE* c) {
      if (index < 0 || index >= static_cast<int>(types.size())) return E_INVALIDARG;
      *out = CreateMediaType(&types[index]);
      *reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(c) = caps[index];
      return S_OK;
    });
  }
};

TEST(VideoCapability, TakesTheSizeRangeFromTheCaps) {
  CMediaType type = videoType(MEDIASUBTYPE_YUY2, 320, 240);
  VIDEO_STREAM_CONFIG_CAPS caps = capsOf(640, 480, 160, 120);
  VideoCapability capability = CapAccess::make(&type, 7, &caps);
  EXPECT_EQ(capability.getCapabilityID(), 7);
  EXPECT_EQ(capability.getMaxWidth(), 640);
  EXPECT_EQ(capability.getMaxHeight(), 480);
  EXPECT_EQ(capability.getMinWidth(), 160);
  EXPECT_EQ(capability.getMinHeight(), 120);
  EXPECT_STREQ(capability.getFullName(), "YUY2_640x480");
  // The stored header announces the maximum; nothing else changes.
  EXPECT_EQ(headerOf(capability)->bmiHeader.biWidth, 640);
  EXPECT_EQ(headerOf(capability)->bmiHeader.biHeight, 480);
  EXPECT_EQ(headerOf(capability)->bmiHeader.biSizeImage, 1234u);
  EXPECT_EQ(CapAccess::mediaType(capability)->lSampleSize, 1234u);
  // The source type is untouched: the capability owns a copy.
  EXPECT_NE(CapAccess::mediaType(capability)->pbFormat, type.pbFormat);
  EXPECT_EQ(reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader.biWidth, 320);
}

TEST(VideoCapability, AZeroMaximumFallsBackToACompleteMinimumOnly) {
  CMediaType type = videoType(MEDIASUBTYPE_RGB24, 320, 240);
  VIDEO_STREAM_CONFIG_CAPS onlyMin = capsOf(0, 0, 320, 240);
  VideoCapability fixed = CapAccess::make(&type, 0, &onlyMin);
  EXPECT_EQ(fixed.getMaxWidth(), 320);
  EXPECT_EQ(fixed.getMaxHeight(), 240);
  EXPECT_EQ(fixed.getMinWidth(), 320);
  EXPECT_STREQ(fixed.getFullName(), "RGB24_320x240");

  VIDEO_STREAM_CONFIG_CAPS halfMin = capsOf(0, 0, 0, 240);
  VideoCapability zero = CapAccess::make(&type, 0, &halfMin);
  EXPECT_EQ(zero.getMaxWidth(), 0);
  EXPECT_EQ(zero.getMaxHeight(), 0);
  EXPECT_EQ(zero.getMinWidth(), 0);
  EXPECT_EQ(zero.getMinHeight(), 240);
  EXPECT_STREQ(zero.getFullName(), "RGB24_0x0");
  EXPECT_EQ(headerOf(zero)->bmiHeader.biWidth, 0);
}

TEST(VideoCapability, ATopDownHeaderIsStoredPositiveButKeepsItsRowOrder) {
  CMediaType type = videoType(MEDIASUBTYPE_RGB24, 640, -480);
  VideoCapability capability = CapAccess::make(&type, 0, nullptr);
  EXPECT_EQ(capability.getMaxWidth(), 640);
  EXPECT_EQ(capability.getMaxHeight(), 480);
  EXPECT_EQ(capability.getMinWidth(), 640);
  EXPECT_EQ(capability.getMinHeight(), 480);
  EXPECT_EQ(headerOf(capability)->bmiHeader.biHeight, 480);
  EXPECT_TRUE(capability.getSubtype().isRGB());
  EXPECT_FALSE(capability.getSubtype().isBottomUp());
  EXPECT_STREQ(capability.getFullName(), "RGB24_640x480");

  // With caps too, the orientation follows the reported header.
  VIDEO_STREAM_CONFIG_CAPS caps = capsOf(800, 600, 800, 600);
  EXPECT_FALSE(CapAccess::make(&type, 0, &caps).getSubtype().isBottomUp());
  CMediaType bottomUp = videoType(MEDIASUBTYPE_RGB24, 640, 480);
  EXPECT_TRUE(CapAccess::make(&bottomUp, 0, &caps).getSubtype().isBottomUp());
}

TEST(VideoCapability, UnlistedSubtypesAreNamedFromTheRewrittenHeader) {
  CMediaType type = videoType(MEDIASUBTYPE_MJPG, 1280, 720);
  EXPECT_STREQ(CapAccess::make(&type, 0, nullptr).getFullName(), "MJPG_1280x720");
  const GUID foreign = {0x11111111, 0x2222, 0x3333, {4, 5, 6, 7, 8, 9, 10, 11}};
  CMediaType odd = videoType(foreign, 1280, 1024);
  EXPECT_STREQ(CapAccess::make(&odd, 0, nullptr).getFullName(), "RGB16_1280x1024");
}

TEST(VideoCapability, CopiesOwnIndependentMediaTypes) {
  FakeUnknown unknown;
  {
    CMediaType type = videoType(MEDIASUBTYPE_YUY2, 640, 480, &unknown);
    auto source = std::make_unique<VideoCapability>(CapAccess::make(&type, 3, nullptr));
    VideoCapability copy(*source);
    CMediaType otherType = videoType(MEDIASUBTYPE_RGB32, 320, 240, &unknown);
    VideoCapability assigned = CapAccess::make(&otherType, 9, nullptr);
    assigned = *source;
    assigned = assigned;
    EXPECT_NE(CapAccess::mediaType(copy), CapAccess::mediaType(*source));
    source.reset();
    for (const VideoCapability* c : {&copy, &assigned}) {
      EXPECT_EQ(c->getCapabilityID(), 3);
      EXPECT_STREQ(c->getFullName(), "YUY2_640x480");
      EXPECT_EQ(headerOf(*c)->bmiHeader.biWidth, 640);
      EXPECT_TRUE(IsEqualGUID(CapAccess::mediaType(*c)->subtype, MEDIASUBTYPE_YUY2));
    }
  }
  // Every copy released its media type's pUnk: no reference is left.
  EXPECT_EQ(unknown.refs(), 0);
}

TEST(VideoCaps, AcceptsOnlyFullVideoInfoHeaders) {
  auto caps = CapsAccess::make();
  CMediaType good = videoType(MEDIASUBTYPE_YUY2, 640, 480);
  EXPECT_TRUE(CapsAccess::valid(*caps, &good));
  EXPECT_FALSE(CapsAccess::valid(*caps, nullptr));
  CMediaType v2 = videoInfo2Type(640, 480);
  EXPECT_FALSE(CapsAccess::valid(*caps, &v2));
  AM_MEDIA_TYPE shortBlock = good;
  shortBlock.cbFormat = sizeof(VIDEOINFOHEADER) - 1;
  EXPECT_FALSE(CapsAccess::valid(*caps, &shortBlock));
  AM_MEDIA_TYPE noBlock = good;
  noBlock.pbFormat = nullptr;
  EXPECT_FALSE(CapsAccess::valid(*caps, &noBlock));

  AM_MEDIA_TYPE noFormat = good;
  noFormat.formattype = FORMAT_None;
  EXPECT_FALSE(CapsAccess::valid(*caps, &noFormat));
  for (const SIZE size : {SIZE{0, 0}, SIZE{0, 480}, SIZE{640, 0}, SIZE{-640, 480}}) {
    CMediaType empty = videoType(MEDIASUBTYPE_YUY2, size.cx, size.cy);
    EXPECT_FALSE(CapsAccess::valid(*caps, &empty)) << size.cx << "x" << size.cy;
  }
  CMediaType topDown = videoType(MEDIASUBTYPE_YUY2, 640, -480);
  EXPECT_TRUE(CapsAccess::valid(*caps, &topDown));
  CMediaType huge = videoType(MEDIASUBTYPE_YUY2, 0x7FFFFFFF, -0x7FFFFFFF - 1);
  EXPECT_TRUE(CapsAccess::valid(*caps, &huge));

  CapsAccess::add(*caps, &shortBlock, 1, nullptr);
  CapsAccess::add(*caps, &noBlock, 2, nullptr);
  CapsAccess::add(*caps, nullptr, 3, nullptr);
  EXPECT_EQ(caps->getNumberOfCapabilities(), 0);
  CapsAccess::add(*caps, &good, 4, nullptr);
  ASSERT_EQ(caps->getNumberOfCapabilities(), 1);
  EXPECT_EQ(caps->getCapabilityList()[0].getCapabilityID(), 4);
}

TEST(VideoCaps, ListsStreamCapsAndSkipsInvalidOnes) {
  FakeUnknown unknown;
  {
    ConfiguredPin device;
    device.types.push_back(videoType(MEDIASUBTYPE_YUY2, 640, 480, &unknown));
    device.types.push_back(videoInfo2Type(640, 480));
    device.types.push_back(videoType(MEDIASUBTYPE_YUY2, 320, 240, &unknown));
    device.types.push_back(videoType(MEDIASUBTYPE_RGB24, 640, 480, &unknown));
    device.types.push_back(videoType(MEDIASUBTYPE_YUY2, 640, 480, &unknown));
    device.caps = {capsOf(640, 480, 640, 480), capsOf(640, 480, 640, 480),
                   capsOf(320, 240, 320, 240), capsOf(640, 480, 640, 480),
                   capsOf(640, 480, 640, 480)};
    device.report();
    EXPECT_CALL(device.config, GetStreamCaps(_, _, _)).Times(5);

    auto caps = CapsAccess::make();
    EXPECT_EQ(CapsAccess::selected(*caps), -1);
    CapsAccess::initialize(*caps, &device.pin);
    const auto& list = caps->getCapabilityList();
    ASSERT_EQ(list.size(), 4u);
    const int ids[] = {0, 2, 3, 4};
    const char* names[] = {"YUY2_640x480", "YUY2_320x240", "RGB24_640x480", "YUY2_640x480"};
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(list[i].getCapabilityID(), ids[i]);
      EXPECT_STREQ(list[i].getFullName(), names[i]);
    }
    // The selection is not touched; the stream configuration was released.
    EXPECT_EQ(CapsAccess::selected(*caps), -1);
    EXPECT_EQ(device.config.refs(), 0);
    EXPECT_EQ(device.pin.refs(), 1);
    caps.reset();
    EXPECT_EQ(device.pin.refs(), 0);
    device.types.clear();
  }
  // Every type handed out by GetStreamCaps was freed.
  EXPECT_EQ(unknown.refs(), 0);
}

TEST(VideoCaps, FailingIndexesAreSkipped) {
  ConfiguredPin device;
  device.types.push_back(videoType(MEDIASUBTYPE_YUY2, 640, 480));
  device.types.push_back(videoType(MEDIASUBTYPE_YUY2, 320, 240));
  device.caps = {capsOf(640, 480, 640, 480), capsOf(320, 240, 320, 240)};
  device.report();
  EXPECT_CALL(device.config, GetStreamCaps(0, _, _)).WillOnce(Return(E_FAIL));
  EXPECT_CALL(device.config, GetStreamCaps(1, _, _));
  auto caps = CapsAccess::make();
  CapsAccess::initialize(*caps, &device.pin);
  ASSERT_EQ(caps->getNumberOfCapabilities(), 1);
  EXPECT_EQ(caps->getCapabilityList()[0].getCapabilityID(), 1);
  EXPECT_STREQ(caps->getCapabilityList()[0].getFullName(), "YUY2_320x240");
}

TEST(VideoCaps, OnlyTheDocumentedStructureSizeIsRead) {
  ConfiguredPin device;
  for (int i = 0; i < 3; ++i) {
    device.types.push_back(videoType(MEDIASUBTYPE_YUY2, 640, 480));
    device.caps.push_back(capsOf(640, 480, 640, 480));
  }
  device.report(64);
  EXPECT_CALL(device.config, GetStreamCaps).Times(0);
  EXPECT_CALL(device.config, GetFormat).Times(0);
  auto caps = CapsAccess::make();
  CapsAccess::initialize(*caps, &device.pin);
  EXPECT_EQ(caps->getNumberOfCapabilities(), 0);
}

TEST(VideoCaps, WithoutACapabilityListTheCurrentFormatIsListed) {
  ConfiguredPin device;
  device.report();  // no types: a count of 0
  CMediaType current = videoType(MEDIASUBTYPE_UYVY, 720, 576);
  EXPECT_CALL(device.config, GetFormat)
      .WillOnce([&](AM_MEDIA_TYPE** out) {
        *out = CreateMediaType(&current);
        return S_OK;
      })
      .WillOnce(Return(E_FAIL));
  auto caps = CapsAccess::make();
  CapsAccess::initialize(*caps, &device.pin);
  ASSERT_EQ(caps->getNumberOfCapabilities(), 1);
  EXPECT_STREQ(caps->getCapabilityList()[0].getFullName(), "UYVY_720x576");
  EXPECT_EQ(caps->getCapabilityList()[0].getCapabilityID(), 0);
  CapsAccess::initialize(*caps, &device.pin);
  EXPECT_EQ(caps->getNumberOfCapabilities(), 1);
}

TEST(VideoCaps, APinWithoutStreamConfigListsItsMediaTypes) {
  FakeUnknown unknown;
  {
    NiceMock<MockPin> pin;
    NiceMock<MockEnumMediaTypes> types;
    CMediaType a = videoType(MEDIASUBTYPE_YUY2, 640, 480, &unknown);
    CMediaType b = videoInfo2Type(640, 480);
    CMediaType c = videoType(MEDIASUBTYPE_RGB24, 320, -240, &unknown);
    types.walk({&a, &b, &c});
    EXPECT_CALL(pin, EnumMediaTypes).WillOnce(HandOut<0>(types.self()));
    EXPECT_CALL(types, Reset).Times(1);

    auto caps = CapsAccess::make();
    CapsAccess::initialize(*caps, &pin);
    const auto& list = caps->getCapabilityList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_STREQ(list[0].getFullName(), "YUY2_640x480");
    EXPECT_STREQ(list[1].getFullName(), "RGB24_320x240");
    EXPECT_EQ(list[0].getCapabilityID(), 0);
    EXPECT_EQ(list[1].getCapabilityID(), 0);
    EXPECT_EQ(types.refs(), 0);
    caps.reset();
    FreeMediaType(a);
    FreeMediaType(c);
  }
  EXPECT_EQ(unknown.refs(), 0);
}

TEST(VideoCaps, APinThatCannotEnumerateGivesNothing) {
  NiceMock<MockPin> pin;
  EXPECT_CALL(pin, EnumMediaTypes).WillOnce(Return(E_FAIL));
  auto caps = CapsAccess::make();
  CapsAccess::initialize(*caps, &pin);
  EXPECT_EQ(caps->getNumberOfCapabilities(), 0);
  // A null pin changes nothing but the stored pin.
  CapsAccess::initialize(*caps, nullptr);
  EXPECT_EQ(CapsAccess::pin(*caps), nullptr);
  EXPECT_EQ(pin.refs(), 0);
}

TEST(VideoCaps, InitializeAppendsAndReplacesThePin) {
  ConfiguredPin first;
  first.types.push_back(videoType(MEDIASUBTYPE_YUY2, 640, 480));
  first.caps.push_back(capsOf(640, 480, 640, 480));
  first.report();
  ConfiguredPin second;
  second.types.push_back(videoType(MEDIASUBTYPE_RGB24, 320, 240));
  second.caps.push_back(capsOf(320, 240, 320, 240));
  second.report();

  auto caps = CapsAccess::make();
  CapsAccess::initialize(*caps, &first.pin);
  CapsAccess::select(*caps, 0);
  CapsAccess::initialize(*caps, &second.pin);
  ASSERT_EQ(caps->getNumberOfCapabilities(), 2);
  EXPECT_STREQ(caps->getCapabilityList()[0].getFullName(), "YUY2_640x480");
  EXPECT_STREQ(caps->getCapabilityList()[1].getFullName(), "RGB24_320x240");
  EXPECT_EQ(CapsAccess::selected(*caps), 0);
  EXPECT_EQ(first.pin.refs(), 0);
  EXPECT_EQ(second.pin.refs(), 1);
  CapsAccess::initialize(*caps, &second.pin);
  EXPECT_EQ(second.pin.refs(), 1);
  EXPECT_EQ(caps->getNumberOfCapabilities(), 3);
}

TEST(VideoCaps, CopiesShareThePinAndKeepTheSelection) {
  ConfiguredPin device;
  device.types.push_back(videoType(MEDIASUBTYPE_YUY2, 640, 480));
  device.types.push_back(videoType(MEDIASUBTYPE_YUY2, 320, 240));
  device.caps = {capsOf(640, 480, 640, 480), capsOf(320, 240, 320, 240)};
  device.report();
  auto caps = CapsAccess::make();
  CapsAccess::initialize(*caps, &device.pin);
  CapsAccess::select(*caps, 1);
  {
    VideoCaps copy(*caps);
    EXPECT_EQ(device.pin.refs(), 2);
    EXPECT_EQ(CapsAccess::selected(copy), 1);
    ASSERT_EQ(copy.getNumberOfCapabilities(), 2);
    EXPECT_NE(CapAccess::mediaType(copy.getCapabilityList()[1]),
              CapAccess::mediaType(caps->getCapabilityList()[1]));
    CapsAccess::destroy(copy);
    EXPECT_EQ(copy.getNumberOfCapabilities(), 0);
    EXPECT_EQ(CapsAccess::selected(copy), 1);
    EXPECT_EQ(device.pin.refs(), 2);
  }
  EXPECT_EQ(device.pin.refs(), 1);
  EXPECT_EQ(caps->getNumberOfCapabilities(), 2);
}

TEST(VideoCaps, TheSelectedCapabilityIsOnlyGivenForAListPosition) {
  ConfiguredPin device;
  device.types.push_back(videoType(MEDIASUBTYPE_YUY2, 640, 480));
  device.caps.push_back(capsOf(640, 480, 640, 480));
  device.report();
  auto caps = CapsAccess::make();
  EXPECT_EQ(CapsAccess::selectedCapability(*caps), nullptr);
  CapsAccess::initialize(*caps, &device.pin);
  EXPECT_EQ(CapsAccess::selectedCapability(*caps), nullptr);
  CapsAccess::select(*caps, 0);
  ASSERT_NE(CapsAccess::selectedCapability(*caps), nullptr);
  EXPECT_STREQ(CapsAccess::selectedCapability(*caps)->getFullName(), "YUY2_640x480");
  // Stored without a check, but never handed out as a capability.
  CapsAccess::select(*caps, 1);
  EXPECT_EQ(CapsAccess::selected(*caps), 1);
  EXPECT_EQ(CapsAccess::selectedCapability(*caps), nullptr);
  CapsAccess::select(*caps, -7);
  EXPECT_EQ(CapsAccess::selectedCapability(*caps), nullptr);
}

}  // namespace
}  // namespace kivo
