#include <kivo/video_subtype.h>

#include "capture/fourcc.h"

#include <gtest/gtest.h>

#include <string>

namespace kivo {

template <>
struct TestAccess<VideoSubtype> {
  static void update(VideoSubtype& s, const VIDEOINFOHEADER* h, const GUID& g, int height) {
    s.update(h, g, height);
  }
  static void assign(VideoSubtype& target, const VideoSubtype& source) { target = source; }
  static const std::string& name(const VideoSubtype& s) { return s.name; }
};

namespace {

using namespace colorspace;
using Access = TestAccess<VideoSubtype>;

VIDEOINFOHEADER headerWith(DWORD compression, WORD bits) {
  VIDEOINFOHEADER header = {};
  header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  header.bmiHeader.biCompression = compression;
  header.bmiHeader.biBitCount = bits;
  return header;
}

// A GUID that is neither in the table nor of FOURCC form nor known by name.
const GUID kForeign = {0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(FourccSubtype, BuildsTheLittleEndianCodeIntoTheBaseGuid) {
  const GUID yuy2 = {0x32595559, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  EXPECT_TRUE(IsEqualGUID(fourccSubtype("YUY2"), yuy2));
  EXPECT_TRUE(IsEqualGUID(fourccSubtype("YUY2"), MEDIASUBTYPE_YUY2));
  EXPECT_TRUE(IsEqualGUID(fourccSubtype("MJPG"), MEDIASUBTYPE_MJPG));
  EXPECT_TRUE(isFourccSubtype(MEDIASUBTYPE_dvsd));
  EXPECT_FALSE(isFourccSubtype(MEDIASUBTYPE_RGB24));
  EXPECT_EQ(FOURCC_ZERO_SUBTYPE.Data1, 0u);
}

struct Row {
  GUID guid;
  const char* name;
  unsigned int type;
};

class SubtypeTable : public ::testing::TestWithParam<Row> {};

TEST_P(SubtypeTable, ClassifiesEveryListedSubtype) {
  const Row& row = GetParam();
  VideoSubtype subtype(nullptr, row.guid, 480);
  EXPECT_STREQ(subtype.getName(), row.name);
  EXPECT_EQ(static_cast<unsigned int>(subtype.getColorspaceType()), row.type);
  EXPECT_TRUE(IsEqualGUID(subtype.getGUID(), row.guid));
  // A header never changes the name of a listed subtype.
  VIDEOINFOHEADER header = headerWith(BI_RGB, 16);
  VideoSubtype withHeader(&header, row.guid, -480);
  EXPECT_STREQ(withHeader.getName(), row.name);
}

INSTANTIATE_TEST_SUITE_P(
    AllRows, SubtypeTable,
    ::testing::Values(
        Row{fourccSubtype("RGB2"), "RGB2", 0x01010000},
        Row{fourccSubtype("RGB3"), "RGB3", 0x01010000}, Row{MEDIASUBTYPE_RGB8, "RGB8", 0x01010001},
        Row{MEDIASUBTYPE_RGB555, "RGB555", 0x02030001},
        Row{MEDIASUBTYPE_RGB565, "RGB565", 0x02030002},
        Row{MEDIASUBTYPE_RGB24, "RGB24", 0x02030003},
        Row{fourccSubtype("\0\0\0\0"), "RGB24", 0x02030003},
        Row{MEDIASUBTYPE_RGB32, "RGB32", 0x02030004},
        Row{MEDIASUBTYPE_ARGB1555, "ARGB1555", 0x02040005},
        Row{MEDIASUBTYPE_ARGB32, "ARGB32", 0x02040006},
        Row{fourccSubtype("Y800"), "Y800", 0x01010000},
        Row{fourccSubtype("Y422"), "Y422", 0x03030003},
        Row{fourccSubtype("Y444"), "Y444", 0x03030001},
        Row{fourccSubtype("Y411"), "Y411", 0x03030000},
        Row{fourccSubtype("Y41P"), "Y41P", 0x03030004},
        Row{fourccSubtype("YVU9"), "YVU9", 0x03030005},
        Row{fourccSubtype("YV12"), "YV12", 0x03030006},
        Row{fourccSubtype("I420"), "I420", 0x03030002},
        Row{fourccSubtype("M420"), "M420", 0x04030001},
        Row{fourccSubtype("NV12"), "NV12", 0x04030002},
        Row{fourccSubtype("IYUV"), "IYUV", 0x03030002},
        Row{fourccSubtype("YUY2"), "YUY2", 0x03030007},
        Row{fourccSubtype("YVYU"), "YVYU", 0x03030008},
        Row{fourccSubtype("UYVY"), "UYVY", 0x03030003},
        Row{fourccSubtype("IYU1"), "IYU1", 0x03030000},
        Row{fourccSubtype("IYU2"), "IYU2", 0x03030001},
        Row{fourccSubtype("H264"), "H264", 0x03030007},
        Row{fourccSubtype("H160"), "H160", 0x01010002},
        Row{fourccSubtype("H161"), "H161", 0x01010002},
        Row{fourccSubtype("H162"), "H162", 0x01010002},
        Row{fourccSubtype("H163"), "H163", 0x01010002},
        Row{fourccSubtype("H164"), "H164", 0x01010003},
        Row{fourccSubtype("H165"), "H165", 0x01010003},
        Row{fourccSubtype("H166"), "H166", 0x01010003},
        Row{fourccSubtype("H167"), "H167", 0x01010003},
        Row{fourccSubtype("H080"), "H080", 0x01010000},
        Row{fourccSubtype("H081"), "H081", 0x01010000},
        Row{fourccSubtype("H082"), "H082", 0x01010000},
        Row{fourccSubtype("H083"), "H083", 0x01010000}, Row{fourccSubtype("DIVX"), "DivX", 0},
        Row{fourccSubtype("DX50"), "DivX", 0}, Row{fourccSubtype("DIV3"), "DivX", 0},
        Row{fourccSubtype("DIV4"), "DivX", 0}, Row{fourccSubtype("XVID"), "Xvid", 0},
        Row{fourccSubtype("HFYU"), "Huffyuv", 0}, Row{fourccSubtype("CVID"), "Cinepak", 0},
        Row{fourccSubtype("IV30"), "Indeo3", 0}, Row{fourccSubtype("IV32"), "Indeo3", 0},
        Row{fourccSubtype("IV50"), "Indeo5", 0}));

TEST(VideoSubtype, DefaultIsBottomUpRgb24) {
  VideoSubtype subtype;
  EXPECT_STREQ(subtype.getName(), "RGB24");
  EXPECT_EQ(subtype.getColorspaceType(), 0x02030003u);
  EXPECT_EQ(subtype.getNumberOfBands(), 3);
  EXPECT_TRUE(subtype.isRGB());
  EXPECT_FALSE(subtype.isCompressed());
  EXPECT_TRUE(subtype.isBottomUp());
  EXPECT_TRUE(IsEqualGUID(subtype.getGUID(), MEDIASUBTYPE_RGB24));
}

TEST(VideoSubtype, RowOrderFollowsTheSignOfTheHeightForRgbOnly) {
  EXPECT_FALSE(VideoSubtype(nullptr, MEDIASUBTYPE_RGB24, -480).isBottomUp());
  EXPECT_FALSE(VideoSubtype(nullptr, MEDIASUBTYPE_RGB24, 0).isBottomUp());
  EXPECT_TRUE(VideoSubtype(nullptr, MEDIASUBTYPE_ARGB32, 1).isBottomUp());
  EXPECT_FALSE(VideoSubtype(nullptr, MEDIASUBTYPE_YUY2, 480).isBottomUp());

  VideoSubtype rgb8(nullptr, MEDIASUBTYPE_RGB8, 480);
  EXPECT_TRUE(rgb8.isMonochrome());
  EXPECT_FALSE(rgb8.isRGB());
  EXPECT_EQ(rgb8.getNumberOfBands(), 1);
  EXPECT_FALSE(rgb8.isBottomUp());
}

TEST(VideoSubtype, CategoryTestsFollowTheTopByte) {
  VideoSubtype h264(nullptr, fourccSubtype("H264"), 480);
  EXPECT_TRUE(h264.isYUV());
  EXPECT_EQ(h264.getNumberOfBands(), 3);
  EXPECT_FALSE(h264.isCompressed());

  for (const char* code : {"M420", "NV12"}) {
    char fourcc[5] = {code[0], code[1], code[2], code[3], 0};
    VideoSubtype semiPlanar(nullptr, fourccSubtype(fourcc), 480);
    EXPECT_EQ(VideoSubtype::identifyColorspaceCategory(semiPlanar.getColorspaceType()),
              CATEGORY_YUV_SEMIPLANAR);
    EXPECT_EQ(semiPlanar.getNumberOfBands(), 3);
    EXPECT_FALSE(semiPlanar.isYUV());
    EXPECT_FALSE(semiPlanar.isRGB());
    EXPECT_FALSE(semiPlanar.isMonochrome());
    EXPECT_FALSE(semiPlanar.isCompressed());
  }

  EXPECT_EQ(VideoSubtype::identifyColorspaceCategory(TYPE_YUY2), 0x03000000u);
  EXPECT_EQ(VideoSubtype::identifyColorspaceCategory(TYPE_COMPRESSED), CATEGORY_NONE);
  EXPECT_EQ(VideoSubtype::identifyColorspaceCategory(TYPE_RGB8), CATEGORY_MONOCHROME);
  EXPECT_EQ(VideoSubtype(nullptr, MEDIASUBTYPE_ARGB32, 480).getNumberOfBands(), 4);
}

TEST(VideoSubtype, UnlistedSubtypesAreCompressedAndNamedAsWellAsPossible) {
  VideoSubtype rgb1(nullptr, MEDIASUBTYPE_RGB1, 480);
  EXPECT_STREQ(rgb1.getName(), "RGB Monochrome");
  EXPECT_EQ(rgb1.getColorspaceType(), TYPE_COMPRESSED);
  EXPECT_EQ(rgb1.getNumberOfBands(), 0);
  EXPECT_TRUE(rgb1.isCompressed());
  EXPECT_FALSE(rgb1.isBottomUp());
  EXPECT_STREQ(VideoSubtype(nullptr, MEDIASUBTYPE_RGB4, 480).getName(), "RGB VGA");
  EXPECT_STREQ(VideoSubtype(nullptr, MEDIASUBTYPE_Overlay, 480).getName(), "Overlay");

  // FOURCC form: the four characters, whatever header is given.
  VIDEOINFOHEADER header = headerWith(BI_RGB, 16);
  VideoSubtype mjpg(&header, MEDIASUBTYPE_MJPG, 480);
  EXPECT_STREQ(mjpg.getName(), "MJPG");
  EXPECT_TRUE(mjpg.isCompressed());
  EXPECT_STREQ(VideoSubtype(nullptr, MEDIASUBTYPE_dvsd, 480).getName(), "dvsd");
  // Four characters even when some are NUL.
  VideoSubtype shortCode(nullptr, fourccSubtype("AB\0\0"), 480);
  EXPECT_EQ(std::string(shortCode.getName()), "AB");
  EXPECT_EQ(Access::name(shortCode).size(), 4u);
}

TEST(VideoSubtype, ForeignGuidsAreNamedFromTheHeader) {
  EXPECT_STREQ(VideoSubtype(nullptr, kForeign, 480).getName(), "RGB0");
  struct Case {
    DWORD compression;
    WORD bits;
    const char* name;
  };
  const Case cases[] = {{BI_RGB, 16, "RGB16"},
                        {BI_BITFIELDS, 32, "RGB32"},
                        {BI_RLE8, 8, "RLE8"},
                        {BI_RLE4, 4, "RLE4"},
                        {BI_JPEG, 24, "JPEG"},
                        {BI_PNG, 24, "PNG"},
                        {MAKEFOURCC('M', 'J', 'P', 'G'), 24, "MJPG24"}};
  for (const Case& c : cases) {
    VIDEOINFOHEADER header = headerWith(c.compression, c.bits);
    VideoSubtype subtype(&header, kForeign, 480);
    EXPECT_STREQ(subtype.getName(), c.name);
    EXPECT_TRUE(subtype.isCompressed());
  }
}

TEST(VideoSubtype, UpdateKeepsTheLastHeaderWhenGivenNone) {
  VIDEOINFOHEADER header = headerWith(BI_RGB, 16);
  VideoSubtype subtype(&header, MEDIASUBTYPE_YUY2, 480);
  Access::update(subtype, nullptr, kForeign, -240);
  EXPECT_STREQ(subtype.getName(), "RGB16");
  EXPECT_EQ(subtype.getColorspaceType(), TYPE_COMPRESSED);

  VIDEOINFOHEADER other = headerWith(BI_RLE8, 8);
  Access::update(subtype, &other, MEDIASUBTYPE_RGB24, -240);
  EXPECT_STREQ(subtype.getName(), "RGB24");
  EXPECT_FALSE(subtype.isBottomUp());
  Access::update(subtype, nullptr, kForeign, 240);
  EXPECT_STREQ(subtype.getName(), "RLE8");
}

TEST(VideoSubtype, CopiesCarryTheClassificationUnchanged) {
  VIDEOINFOHEADER header = headerWith(BI_RGB, 16);
  VideoSubtype source(&header, kForeign, -10);
  VideoSubtype copy(source);
  EXPECT_STREQ(copy.getName(), "RGB16");
  EXPECT_TRUE(IsEqualGUID(copy.getGUID(), kForeign));

  VideoSubtype target(nullptr, MEDIASUBTYPE_RGB32, 480);
  Access::assign(target, source);
  EXPECT_STREQ(target.getName(), "RGB16");
  Access::assign(target, target);
  EXPECT_STREQ(target.getName(), "RGB16");
  // The copied header values name later updates too.
  Access::update(target, nullptr, kForeign, 1);
  EXPECT_STREQ(target.getName(), "RGB16");
}

}  // namespace
}  // namespace kivo
