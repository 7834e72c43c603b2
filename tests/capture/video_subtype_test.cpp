// How a video subtype is named and classified: the known subtypes, the names worked out for the
// others, and what the colour-space word says.

#include <kivo/video_subtype.h>

#include "foundation/fourcc.h"

#include <gtest/gtest.h>

#include <string>

namespace kivo {

template <>
struct TestAccess<VideoSubtype> {
  static void update(VideoSubtype& s, const VIDEOINFOHEADER* header, const GUID& subtype,
                     int height) {
    s.update(header, subtype, height);
  }
};

namespace {

using namespace colorspace;

VIDEOINFOHEADER header(DWORD compression, WORD bitCount) {
  VIDEOINFOHEADER h = {};
  h.bmiHeader.biCompression = compression;
  h.bmiHeader.biBitCount = bitCount;
  return h;
}

struct Classified {
  std::string name;
  type kind;
  int bands;
  bool monochrome, rgb, yuv, compressed, bottomUp;
};

Classified classify(const VideoSubtype& s) {
  return {s.getName(), s.getColorspaceType(), s.getNumberOfBands(), s.isMonochrome(), s.isRGB(),
          s.isYUV(),   s.isCompressed(),      s.isBottomUp()};
}

void expectClassified(const VideoSubtype& s, const Classified& want) {
  const Classified got = classify(s);
  SCOPED_TRACE(want.name);
  EXPECT_EQ(got.name, want.name);
  EXPECT_EQ(got.kind, want.kind);
  EXPECT_EQ(got.bands, want.bands);
  EXPECT_EQ(got.monochrome, want.monochrome);
  EXPECT_EQ(got.rgb, want.rgb);
  EXPECT_EQ(got.yuv, want.yuv);
  EXPECT_EQ(got.compressed, want.compressed);
  EXPECT_EQ(got.bottomUp, want.bottomUp);
}

TEST(VideoSubtype, KnownSubtypesCarryTheirCategoryBandsAndRowOrder) {
  //                                 name      type        bands mono   rgb    yuv  compr  bottomUp
  expectClassified(VideoSubtype(), {"RGB24", TYPE_RGB24, 3, false, true, false, false, true});
  expectClassified(VideoSubtype(nullptr, MEDIASUBTYPE_RGB24, -480),
                   {"RGB24", TYPE_RGB24, 3, false, true, false, false, false});
  expectClassified(VideoSubtype(nullptr, MEDIASUBTYPE_RGB24, 0),
                   {"RGB24", TYPE_RGB24, 3, false, true, false, false, false});
  expectClassified(VideoSubtype(nullptr, FOURCC_ZERO_SUBTYPE),
                   {"RGB24", TYPE_RGB24, 3, false, true, false, false, true});
  expectClassified(VideoSubtype(nullptr, MEDIASUBTYPE_RGB8),
                   {"RGB8", TYPE_RGB8, 1, true, false, false, false, false});
  expectClassified(VideoSubtype(nullptr, MEDIASUBTYPE_ARGB32),
                   {"ARGB32", TYPE_ARGB32, 4, false, true, false, false, true});
  // Some cameras label plain YUY2 frames H264.
  expectClassified(VideoSubtype(nullptr, fourccSubtype("H264")),
                   {"H264", TYPE_YUY2, 3, false, false, true, false, false});
  const struct {
    GUID guid;
    const char* name;
  } semiPlanar[] = {{fourccSubtype("NV12"), "NV12"}, {fourccSubtype("M420"), "M420"}};
  for (const auto& layout : semiPlanar) {
    const VideoSubtype s(nullptr, layout.guid);
    EXPECT_EQ(VideoSubtype::identifyColorspaceCategory(s.getColorspaceType()),
              CATEGORY_YUV_SEMIPLANAR);
    expectClassified(s, {layout.name, s.getColorspaceType(), 3, false, false, false, false, false});
  }
  expectClassified(VideoSubtype(nullptr, fourccSubtype("DX50")),
                   {"DivX", TYPE_COMPRESSED, 0, false, false, false, true, false});
  EXPECT_EQ(VideoSubtype::identifyColorspaceCategory(TYPE_YUY2), CATEGORY_YUV);
}

TEST(VideoSubtype, OthersAreCompressedAndNamedByLookupFourccOrHeader) {
  const Classified compressed = {"", TYPE_COMPRESSED, 0, false, false, false, true, false};
  auto named = [&](const char* name) {
    Classified c = compressed;
    c.name = name;
    return c;
  };
  expectClassified(VideoSubtype(nullptr, MEDIASUBTYPE_RGB1), named("RGB Monochrome"));
  expectClassified(VideoSubtype(nullptr, MEDIASUBTYPE_Overlay), named("Overlay"));
  expectClassified(VideoSubtype(nullptr, MEDIASUBTYPE_MJPG), named("MJPG"));
  expectClassified(VideoSubtype(nullptr, fourccSubtype("dvsd")), named("dvsd"));
  // A FOURCC code with NUL bytes still gives four characters.
  const GUID shortCode = fourccSubtype("ab\0\0");
  EXPECT_EQ(std::string(VideoSubtype(nullptr, shortCode).getName(), 4), std::string("ab\0\0", 4));

  const GUID foreign = {0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
  expectClassified(VideoSubtype(nullptr, foreign), named("RGB0"));  // no header ever given
  const struct {
    DWORD compression;
    WORD bits;
    const char* name;
  } headers[] = {{BI_RGB, 16, "RGB16"},
                 {BI_BITFIELDS, 32, "RGB32"},
                 {BI_RLE8, 8, "RLE8"},
                 {BI_RLE4, 4, "RLE4"},
                 {BI_JPEG, 24, "JPEG"},
                 {BI_PNG, 24, "PNG"},
                 {MAKEFOURCC('M', 'J', 'P', 'G'), 24, "MJPG24"}};
  for (const auto& h : headers) {
    const VIDEOINFOHEADER vih = header(h.compression, h.bits);
    expectClassified(VideoSubtype(&vih, foreign), named(h.name));
  }

  // Reclassified by update; a null header keeps the last header's code and bit count.
  const VIDEOINFOHEADER rle = header(BI_RLE8, 8);
  VideoSubtype s(&rle, MEDIASUBTYPE_YUY2, 240);
  EXPECT_STREQ(s.getName(), "YUY2");
  TestAccess<VideoSubtype>::update(s, nullptr, foreign, 240);
  expectClassified(s, named("RLE8"));
  const VideoSubtype copy(s);
  expectClassified(copy, named("RLE8"));
  TestAccess<VideoSubtype>::update(s, nullptr, MEDIASUBTYPE_RGB32, 240);
  expectClassified(s, {"RGB32", TYPE_RGB32, 3, false, true, false, false, true});
}

}  // namespace
}  // namespace kivo
