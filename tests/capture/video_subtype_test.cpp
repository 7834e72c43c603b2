// How a video subtype is named and classified, known or not, and how an update reclassifies.

#include <kivo/video_subtype.h>

#include "foundation/fourcc.h"

#include <gtest/gtest.h>

#include <string>

namespace kivo {

template <>
struct TestAccess<VideoSubtype> {
  static void update(VideoSubtype& s, const VIDEOINFOHEADER* h, const GUID& subtype, int height) {
    s.update(h, subtype, height);
  }
};

namespace {

using namespace colorspace;

// Name, colour-space type, bands and flags: monochrome, rgb, yuv, compressed, bottom-up.
std::string classify(const VideoSubtype& s) {
  std::string flags;
  for (auto [set, letter] : {std::pair(s.isMonochrome(), 'm'),
                             {s.isRGB(), 'r'},
                             {s.isYUV(), 'y'},
                             {s.isCompressed(), 'c'},
                             {s.isBottomUp(), 'b'}})
    if (set) flags += letter;
  return std::string(s.getName()) + " " + std::to_string(s.getColorspaceType()) + " " +
         std::to_string(s.getNumberOfBands()) + " " + flags;
}
std::string expected(const char* name, type kind, int bands, const char* flags) {
  return std::string(name) + " " + std::to_string(kind) + " " + std::to_string(bands) + " " + flags;
}

VIDEOINFOHEADER header(DWORD compression, WORD bitCount) {
  VIDEOINFOHEADER h = {};
  h.bmiHeader.biCompression = compression, h.bmiHeader.biBitCount = bitCount;
  return h;
}

const GUID kForeign = {0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(VideoSubtype, KnownSubtypesAndNamesForTheOthers) {
  const VIDEOINFOHEADER rle8 = header(BI_RLE8, 8),
                        mjpg = header(MAKEFOURCC('M', 'J', 'P', 'G'), 24);
  const struct {
    const VIDEOINFOHEADER* header;
    GUID subtype;
    int height;
    std::string want;
  } cases[] = {
      {nullptr, MEDIASUBTYPE_RGB24, 480, expected("RGB24", TYPE_RGB24, 3, "rb")},
      {nullptr, MEDIASUBTYPE_RGB24, -480, expected("RGB24", TYPE_RGB24, 3, "r")},
      {nullptr, MEDIASUBTYPE_RGB24, 0, expected("RGB24", TYPE_RGB24, 3, "r")},
      {nullptr, MEDIASUBTYPE_RGB8, 480, expected("RGB8", TYPE_RGB8, 1, "m")},
      {nullptr, MEDIASUBTYPE_ARGB32, 480, expected("ARGB32", TYPE_ARGB32, 4, "rb")},
      // Some cameras label plain YUY2 frames H264.
      {nullptr, fourccSubtype("H264"), 480, expected("H264", TYPE_YUY2, 3, "y")},
      {nullptr, MEDIASUBTYPE_RGB1, 480, expected("RGB Monochrome", TYPE_COMPRESSED, 0, "c")},
      {nullptr, MEDIASUBTYPE_MJPG, 480, expected("MJPG", TYPE_COMPRESSED, 0, "c")},
      {nullptr, fourccSubtype("NV12"), 480, expected("NV12", TYPE_NV12, 3, "")},
      {nullptr, fourccSubtype("M420"), 480, expected("M420", TYPE_M420, 3, "")},
      // Neither known nor FOURCC: named after the header (one row per kind), "RGB0" without one.
      {nullptr, kForeign, 480, expected("RGB0", TYPE_COMPRESSED, 0, "c")},
      {&rle8, kForeign, 480, expected("RLE8", TYPE_COMPRESSED, 0, "c")},
      {&mjpg, kForeign, 480, expected("MJPG24", TYPE_COMPRESSED, 0, "c")},
  };
  for (const auto& c : cases)
    EXPECT_EQ(classify(VideoSubtype(c.header, c.subtype, c.height)), c.want);
  EXPECT_EQ(classify(VideoSubtype()), expected("RGB24", TYPE_RGB24, 3, "rb"));
  EXPECT_EQ(VideoSubtype::identifyColorspaceCategory(TYPE_M420), CATEGORY_YUV_SEMIPLANAR);

  // Reclassified by update; a null header keeps the last header's code and bit count.
  VideoSubtype s(&rle8, MEDIASUBTYPE_YUY2, 240);
  EXPECT_STREQ(s.getName(), "YUY2");
  TestAccess<VideoSubtype>::update(s, nullptr, kForeign, 240);
  EXPECT_EQ(classify(VideoSubtype(s)), expected("RLE8", TYPE_COMPRESSED, 0, "c"));
  TestAccess<VideoSubtype>::update(s, nullptr, MEDIASUBTYPE_RGB32, 240);
  EXPECT_EQ(classify(s), expected("RGB32", TYPE_RGB32, 3, "rb"));
}

}  // namespace
}  // namespace kivo
