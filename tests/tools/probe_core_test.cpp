// kivo-probe's frame conversion, of which its end-to-end test sees only the file sizes.

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

TEST(ConvertFrame, RowOrderPaddingChromaPlacementAndShortBuffers) {
  // 2x2 RGB24, rows padded to 8 bytes; a positive height stores the bottom row first.
  const std::vector<uint8_t> rgb24 = {0,    0, 0xFF, 0,    0xFF, 0,    0, 0,
                                      0xFF, 0, 0,    0xFF, 0xFF, 0xFF, 0, 0};
  EXPECT_EQ((std::vector<uint32_t>{0x0000FF, 0xFFFFFF, 0xFF0000, 0x00FF00}),
            convert({PixelFormat::RGB24, 2, 2, 0}, rgb24));
  EXPECT_EQ((std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}),
            convert({PixelFormat::RGB24, 2, -2, 0}, rgb24));
  EXPECT_EQ(0x000000u, yuvToRgb(0, 128, 128));  // clipped, not wrapped
  EXPECT_EQ((std::vector<uint32_t>{0xFF0000, 0xFF0000}),
            convert({PixelFormat::YUY2, 2, 1, 0}, {81, 90, 81, 240}));
  // Odd sizes round the chroma planes up: 3x3 I420 is 9 + 4 + 4 bytes.
  const std::vector<uint8_t> odd = {126, 126, 126, 126, 126, 126, 126, 126, 81,  // Y
                                    128, 128, 128, 90,  128, 128, 128, 240};     // U, V
  EXPECT_EQ(0xFF0000u, convert({PixelFormat::I420, 3, 3, 0}, odd)[8]);
  RgbImage image;
  std::string error;
  EXPECT_FALSE(convertFrame({PixelFormat::I420, 3, 3, 0}, odd.data(), 16, &image, &error));
  EXPECT_NE(std::string::npos, error.find("shorter")) << error;
  EXPECT_FALSE(convertFrame({PixelFormat::RGB24, 4, 2, 8}, odd.data(), odd.size(), &image, &error));
  EXPECT_NE(std::string::npos, error.find("impossible")) << error;  // stride below the row
}

}  // namespace
}  // namespace kivo::probe
