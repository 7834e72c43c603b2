// Frame conversion and BMP output of kivo-probe: every supported layout is
// built byte by byte and converted; one image is written as a BMP.

#include "core/bmp.h"
#include "core/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kivo::probe {
namespace {

// Converts and returns the pixels top-down.
std::vector<uint32_t> convert(const FrameLayout& layout, const std::vector<uint8_t>& frame) {
  RgbImage image;
  std::string error;
  EXPECT_TRUE(convertFrame(layout, frame.data(), frame.size(), &image, &error)) << error;
  std::vector<uint32_t> rgb;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) rgb.push_back(image.rgbAt(x, y));
  return rgb;
}

TEST(ConvertFrame, YuvLayoutsInBt601LimitedRange) {
  EXPECT_EQ(0xFFFFFFu, yuvToRgb(235, 128, 128));
  EXPECT_EQ(0xFF0000u, yuvToRgb(81, 90, 240));
  EXPECT_EQ(0x000000u, yuvToRgb(0, 128, 128));  // clipped, not wrapped
  // 4x2 of two 2x2 chroma blocks, each pixel with its own luma: positions,
  // row order and the U/V order all show.
  const uint8_t luma[2][4] = {{81, 100, 41, 60}, {120, 140, 160, 180}};
  const uint8_t u[2] = {90, 240}, v[2] = {240, 110};
  std::vector<uint32_t> expected;
  std::vector<uint8_t> yuy2, uyvy, planes;
  for (int y = 0; y < 2; ++y) {
    planes.insert(planes.end(), luma[y], luma[y] + 4);
    for (int x = 0; x < 4; ++x) expected.push_back(yuvToRgb(luma[y][x], u[x / 2], v[x / 2]));
    for (int p = 0; p < 2; ++p) {
      yuy2.insert(yuy2.end(), {luma[y][p * 2], u[p], luma[y][p * 2 + 1], v[p]});
      uyvy.insert(uyvy.end(), {u[p], luma[y][p * 2], v[p], luma[y][p * 2 + 1]});
    }
  }
  std::vector<uint8_t> i420 = planes, yv12 = planes, nv12 = planes;
  i420.insert(i420.end(), {u[0], u[1], v[0], v[1]});
  yv12.insert(yv12.end(), {v[0], v[1], u[0], u[1]});
  nv12.insert(nv12.end(), {u[0], v[0], u[1], v[1]});
  EXPECT_EQ(expected, convert({PixelFormat::YUY2, 4, 2, 0}, yuy2));
  EXPECT_EQ(expected, convert({PixelFormat::YUY2, 4, -2, 0}, yuy2));  // always top-down
  EXPECT_EQ(expected, convert({PixelFormat::UYVY, 4, 2, 0}, uyvy));
  EXPECT_EQ(expected, convert({PixelFormat::I420, 4, 2, 0}, i420));
  EXPECT_EQ(expected, convert({PixelFormat::YV12, 4, 2, 0}, yv12));
  EXPECT_EQ(expected, convert({PixelFormat::NV12, 4, 2, 0}, nv12));
  // Odd sizes round the chroma planes up: 3x3 I420 is 9 + 4 + 4 bytes.
  std::vector<uint8_t> odd(9, 126);
  odd[8] = 81;
  odd.insert(odd.end(), {128, 128, 128, 90, 128, 128, 128, 240});
  EXPECT_EQ(0xFF0000u, convert({PixelFormat::I420, 3, 3, 0}, odd)[8]);
}

TEST(ConvertFrame, RgbRowOrderFollowsTheHeightSign) {
  // 2x2 RGB24, rows padded to 8 bytes; first stored: the bottom row when
  // the height is positive. RGB32's fourth byte is ignored.
  const std::vector<uint8_t> rgb24 = {0, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0};
  EXPECT_EQ((std::vector<uint32_t>{0x0000FF, 0xFFFFFF, 0xFF0000, 0x00FF00}),
            convert({PixelFormat::RGB24, 2, 2, 0}, rgb24));
  EXPECT_EQ((std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}),
            convert({PixelFormat::RGB24, 2, -2, 0}, rgb24));
  const std::vector<uint8_t> rgb32 = {0x10, 0x20, 0x30, 0xAA, 0x40, 0x50, 0x60, 0xBB};
  EXPECT_EQ((std::vector<uint32_t>{0x302010, 0x605040}), convert({PixelFormat::RGB32, 2, 1, 0}, rgb32));
  EXPECT_EQ(32u, frameBytes({PixelFormat::RGB24, 2, 2, 16}));
}

TEST(ConvertFrame, RefusesShortBuffersAndImpossibleLayouts) {
  const std::vector<uint8_t> bytes(64, 0x80);
  RgbImage image;
  std::string error;
  const std::pair<FrameLayout, size_t> shortCases[] = {
      {{PixelFormat::I420, 3, 3, 0}, 16}, {{PixelFormat::YUY2, 3, 1, 0}, 7}, {{PixelFormat::UYVY, 2, 2, 0}, 0}};
  for (const auto& c : shortCases) {
    EXPECT_FALSE(convertFrame(c.first, bytes.data(), c.second, &image, &error));
    EXPECT_NE(std::string::npos, error.find("shorter")) << error;
  }
  EXPECT_FALSE(convertFrame({PixelFormat::YUY2, 2, 2, 0}, nullptr, 64, &image, &error));
  for (const FrameLayout& layout : {FrameLayout{PixelFormat::RGB24, -2, 2, 0},
                                    FrameLayout{PixelFormat::RGB24, 4, 2, 8},  // stride < row
                                    FrameLayout{PixelFormat::I420, 100000, 100000, 0}}) {
    EXPECT_EQ(0u, frameBytes(layout));
    EXPECT_FALSE(convertFrame(layout, bytes.data(), bytes.size(), &image, &error));
    EXPECT_NE(std::string::npos, error.find("impossible")) << error;
  }
  PixelFormat format;
  ASSERT_TRUE(pixelFormatFromName("Y422", &format));
  EXPECT_EQ(PixelFormat::UYVY, format);
  EXPECT_FALSE(pixelFormatFromName("yuy2", &format));
}

// A 3x2 image: 24-bit, uncompressed, rows bottom-up and padded to 12 bytes.
TEST(Bmp, HeaderAndBottomUpPaddedRows) {
  const std::vector<uint8_t> frame = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0,
                                      10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
  RgbImage image;
  std::string error;
  ASSERT_TRUE(convertFrame({PixelFormat::RGB24, 3, -2, 0}, frame.data(), frame.size(), &image, &error));
  const std::vector<uint8_t> bmp = encodeBmp(image);
  ASSERT_EQ(54u + 24u, bmp.size());
  const auto at32 = [&](size_t i) { return bmp[i] | bmp[i + 1] << 8 | bmp[i + 2] << 16 | bmp[i + 3] << 24; };
  EXPECT_EQ('B', bmp[0]);
  EXPECT_EQ('M', bmp[1]);
  EXPECT_EQ(78, at32(2));   // file size
  EXPECT_EQ(54, at32(10));  // pixel offset
  EXPECT_EQ(40, at32(14));  // BITMAPINFOHEADER
  EXPECT_EQ(3, at32(18));
  EXPECT_EQ(2, at32(22));
  EXPECT_EQ(1 | 24 << 16, at32(26));  // one plane, 24 bits
  EXPECT_EQ(0, at32(30));             // uncompressed
  EXPECT_EQ(24, at32(34));
  EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 12, frame.end()),
            std::vector<uint8_t>(bmp.begin() + 54, bmp.begin() + 66));
}

}  // namespace
}  // namespace kivo::probe
