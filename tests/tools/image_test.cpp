// Frame conversion and BMP output of kivo-probe: every supported layout is
// built byte by byte, converted, written as a BMP and decoded again.

#include "core/bmp.h"
#include "core/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kivo::probe {
namespace {

// A decoded 24-bit BMP, checked for the header fields a viewer relies on.
struct DecodedBmp {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> rgb;  // top-down
};

uint32_t read32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
uint16_t read16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

::testing::AssertionResult decodeBmp(const std::vector<uint8_t>& bytes, DecodedBmp* out) {
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
    return ::testing::AssertionFailure() << "no BMP signature";
  }
  if (read32(bytes, 2) != bytes.size()) return ::testing::AssertionFailure() << "wrong file size";
  const uint32_t offset = read32(bytes, 10);
  if (read32(bytes, 14) != 40) return ::testing::AssertionFailure() << "not a BITMAPINFOHEADER";
  const int32_t width = static_cast<int32_t>(read32(bytes, 18));
  const int32_t height = static_cast<int32_t>(read32(bytes, 22));
  if (read16(bytes, 26) != 1 || read16(bytes, 28) != 24 || read32(bytes, 30) != 0) {
    return ::testing::AssertionFailure() << "not an uncompressed 24-bit bitmap";
  }
  if (width <= 0 || height <= 0) return ::testing::AssertionFailure() << "bad size";
  const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  if (offset + rowBytes * height != bytes.size() || read32(bytes, 34) != rowBytes * height) {
    return ::testing::AssertionFailure() << "pixel data does not match the size";
  }
  out->width = width;
  out->height = height;
  out->rgb.assign(static_cast<size_t>(width) * height, 0);
  for (int y = 0; y < height; ++y) {
    // Rows are stored bottom-up.
    const size_t row = offset + (height - 1 - y) * rowBytes;
    for (int x = 0; x < width; ++x) {
      const size_t p = row + x * 3;
      out->rgb[y * width + x] = (bytes[p + 2] << 16) | (bytes[p + 1] << 8) | bytes[p];
    }
    for (size_t pad = width * 3; pad < rowBytes; ++pad) {
      if (bytes[row + pad] != 0) return ::testing::AssertionFailure() << "padding not zero";
    }
  }
  return ::testing::AssertionSuccess();
}

// Converts, writes as BMP, decodes, and returns the pixels top-down.
std::vector<uint32_t> throughBmp(const FrameLayout& layout, const std::vector<uint8_t>& frame) {
  RgbImage image;
  std::string error;
  EXPECT_TRUE(convertFrame(layout, frame.data(), frame.size(), &image, &error)) << error;
  DecodedBmp bmp;
  EXPECT_TRUE(decodeBmp(encodeBmp(image), &bmp));
  EXPECT_EQ(layout.width, bmp.width);
  EXPECT_EQ(layout.height < 0 ? -layout.height : layout.height, bmp.height);
  return bmp.rgb;
}

TEST(YuvToRgb, KnownBt601LimitedRangeColours) {
  EXPECT_EQ(0x000000u, yuvToRgb(16, 128, 128));
  EXPECT_EQ(0xFFFFFFu, yuvToRgb(235, 128, 128));
  EXPECT_EQ(0xFF0000u, yuvToRgb(81, 90, 240));
  // Below black and above white clip instead of wrapping.
  EXPECT_EQ(0x000000u, yuvToRgb(0, 128, 128));
  EXPECT_EQ(0xFFFFFFu, yuvToRgb(255, 128, 128));
}

// A 4x2 frame of two 2x2 chroma blocks: left red chroma, right blue chroma,
// every pixel with its own luma, so that pixel positions, row order and the
// U/V order all show in the result.
const uint8_t kLuma[2][4] = {{81, 100, 41, 60}, {120, 140, 160, 180}};
const uint8_t kU[2] = {90, 240};
const uint8_t kV[2] = {240, 110};

std::vector<uint32_t> expectedYuv() {
  std::vector<uint32_t> rgb;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) rgb.push_back(yuvToRgb(kLuma[y][x], kU[x / 2], kV[x / 2]));
  }
  return rgb;
}

TEST(ConvertFrame, YuvLayouts) {
  std::vector<uint8_t> yuy2, uyvy, luma;
  for (int y = 0; y < 2; ++y) {
    luma.insert(luma.end(), kLuma[y], kLuma[y] + 4);
    for (int pair = 0; pair < 2; ++pair) {
      const uint8_t y0 = kLuma[y][pair * 2], y1 = kLuma[y][pair * 2 + 1];
      yuy2.insert(yuy2.end(), {y0, kU[pair], y1, kV[pair]});
      uyvy.insert(uyvy.end(), {kU[pair], y0, kV[pair], y1});
    }
  }
  std::vector<uint8_t> i420 = luma, yv12 = luma, nv12 = luma;
  i420.insert(i420.end(), {kU[0], kU[1], kV[0], kV[1]});
  yv12.insert(yv12.end(), {kV[0], kV[1], kU[0], kU[1]});
  nv12.insert(nv12.end(), {kU[0], kV[0], kU[1], kV[1]});
  EXPECT_EQ(expectedYuv(), throughBmp({PixelFormat::YUY2, 4, 2, 0}, yuy2));
  EXPECT_EQ(expectedYuv(), throughBmp({PixelFormat::UYVY, 4, 2, 0}, uyvy));
  // YUV frames are top-down whatever the height's sign says.
  EXPECT_EQ(expectedYuv(), throughBmp({PixelFormat::YUY2, 4, -2, 0}, yuy2));
  EXPECT_EQ(expectedYuv(), throughBmp({PixelFormat::I420, 4, 2, 0}, i420));
  EXPECT_EQ(expectedYuv(), throughBmp({PixelFormat::YV12, 4, 2, 0}, yv12));
  EXPECT_EQ(expectedYuv(), throughBmp({PixelFormat::NV12, 4, 2, 0}, nv12));
}

TEST(ConvertFrame, RgbRowOrderFollowsTheHeightSign) {
  // 2x2 RGB24: rows of 6 bytes padded to 8. Stored first: the bottom row
  // when the height is positive.
  const std::vector<uint8_t> rgb24 = {
      0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0, 0,  // red, green
      0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0, 0,  // blue, white
  };
  EXPECT_EQ((std::vector<uint32_t>{0x0000FF, 0xFFFFFF, 0xFF0000, 0x00FF00}),
            throughBmp({PixelFormat::RGB24, 2, 2, 0}, rgb24));
  EXPECT_EQ((std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}),
            throughBmp({PixelFormat::RGB24, 2, -2, 0}, rgb24));

  // RGB32: blue, green, red, and a fourth byte that is ignored.
  const std::vector<uint8_t> rgb32 = {
      0x10, 0x20, 0x30, 0xAA, 0x40, 0x50, 0x60, 0xBB,
      0x70, 0x80, 0x90, 0xCC, 0xA0, 0xB0, 0xC0, 0xDD,
  };
  EXPECT_EQ((std::vector<uint32_t>{0x908070, 0xC0B0A0, 0x302010, 0x605040}),
            throughBmp({PixelFormat::RGB32, 2, 2, 0}, rgb32));
}

TEST(ConvertFrame, OddSizesUseRoundedUpChromaAndPaddedRows) {
  // 3x3 I420: 9 luma bytes, then 2x2 U and 2x2 V.
  std::vector<uint8_t> i420(9, 126);
  i420[8] = 81;                                  // bottom-right pixel
  i420.insert(i420.end(), {128, 128, 128, 90});  // U; the last sample covers (2,2)
  i420.insert(i420.end(), {128, 128, 128, 240});
  ASSERT_EQ(17u, frameBytes({PixelFormat::I420, 3, 3, 0}));
  const std::vector<uint32_t> pixels = throughBmp({PixelFormat::I420, 3, 3, 0}, i420);
  EXPECT_EQ(0xFF0000u, pixels[8]);
  EXPECT_EQ(0x808080u, pixels[0]);

  // 3x1 YUY2 takes two pixel pairs; an explicit stride wider than the row.
  EXPECT_EQ(8u, frameBytes({PixelFormat::YUY2, 3, 1, 0}));
  EXPECT_EQ(32u, frameBytes({PixelFormat::RGB24, 2, 2, 16}));
}

TEST(ConvertFrame, RefusesShortBuffersAndImpossibleLayouts) {
  const std::vector<uint8_t> bytes(64, 0x80);
  RgbImage image;
  std::string error;
  struct Case {
    FrameLayout layout;
    size_t size;
  } shortCases[] = {
      {{PixelFormat::I420, 3, 3, 0}, 16},
      {{PixelFormat::RGB24, 3, 1, 0}, 11},
      {{PixelFormat::UYVY, 2, 2, 0}, 0},
  };
  for (const Case& c : shortCases) {
    error.clear();
    EXPECT_FALSE(convertFrame(c.layout, bytes.data(), c.size, &image, &error))
        << pixelFormatName(c.layout.format);
    EXPECT_NE(std::string::npos, error.find("shorter")) << error;
  }
  EXPECT_FALSE(convertFrame({PixelFormat::YUY2, 2, 2, 0}, nullptr, 64, &image, &error));

  const FrameLayout impossible[] = {
      {PixelFormat::RGB24, 0, 2, 0},
      {PixelFormat::RGB24, -2, 2, 0},
      {PixelFormat::RGB24, 4, 2, 8},  // a stride shorter than a row
      {PixelFormat::I420, 100000, 100000, 0},
  };
  for (const FrameLayout& layout : impossible) {
    EXPECT_EQ(0u, frameBytes(layout));
    EXPECT_FALSE(convertFrame(layout, bytes.data(), bytes.size(), &image, &error));
    EXPECT_NE(std::string::npos, error.find("impossible")) << error;
  }
}

TEST(PixelFormatNames, KnownNamesAndAliases) {
  PixelFormat format;
  ASSERT_TRUE(pixelFormatFromName("Y422", &format));
  EXPECT_EQ(PixelFormat::UYVY, format);
  ASSERT_TRUE(pixelFormatFromName("ARGB32", &format));
  EXPECT_EQ(PixelFormat::RGB32, format);
  for (const char* name : {"MJPG", "yuy2", ""}) EXPECT_FALSE(pixelFormatFromName(name, &format)) << name;
}

}  // namespace
}  // namespace kivo::probe
