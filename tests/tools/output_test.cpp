// kivo-probe's output: frame conversion, BMP and WAV files.

#include "common/utf8.h"
#include "core/bmp.h"
#include "core/files.h"
#include "core/image.h"
#include "core/wav.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
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
  ASSERT_EQ(0xFF0000u, yuvToRgb(81, 90, 240));
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

// A 3x2 image: rows bottom-up and padded to 12 bytes.
TEST(Bmp, BottomUpPaddedRows) {
  const std::vector<uint8_t> frame = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                                      10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
  RgbImage image;
  std::string error;
  ASSERT_TRUE(
      convertFrame({PixelFormat::RGB24, 3, -2, 0}, frame.data(), frame.size(), &image, &error));
  const std::vector<uint8_t> bmp = encodeBmp(image);
  ASSERT_EQ(54u + 24u, bmp.size());
  EXPECT_EQ(54, bmp[10]);  // pixel offset; the probe's test on Wine reads the other fields
  EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 12, frame.end()),
            std::vector<uint8_t>(bmp.begin() + 54, bmp.begin() + 66));
}

std::string tempPath(const char* name) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return joinPath(tools::narrow(folder), name);
}

// Three bytes of 8-bit stereo data: finish pads them to four and patches the sizes.
TEST(WavWriter, WritesTheRiffLayoutPatchesTheSizesAndPadsOddData) {
  WavFormat format;
  format.formatTag = 1;
  format.channels = 2;
  format.samplesPerSecond = 44100;
  format.averageBytesPerSecond = 1;  // derived from rate and block, not copied
  format.blockAlign = 2;
  format.bitsPerSample = 8;
  const std::string path = tempPath("kivo-tools-test.wav");
  WavWriter writer;
  std::string error;
  const uint8_t data[] = {9, 10, 11};
  ASSERT_TRUE(writer.open(path, format, &error)) << error;
  ASSERT_TRUE(writer.append(data, 2, &error));
  ASSERT_TRUE(writer.append(data + 2, 1, &error));
  ASSERT_TRUE(writer.finish(&error)) << error;
  std::vector<uint8_t> bytes(64);
  std::FILE* file = _wfopen(tools::widen(path).c_str(), L"rb");
  ASSERT_NE(nullptr, file);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  DeleteFileW(tools::widen(path).c_str());
  const std::vector<uint8_t> expected = {
      'R',  'I',  'F', 'F', 40,   0,    0,    0,   'W', 'A', 'V', 'E',  // 36 + 4 padded data bytes
      'f',  'm',  't', ' ', 16,   0,    0,    0,   1,   0,   2,   0,    // PCM, stereo
      0x44, 0xAC, 0,   0,   0x88, 0x58, 0x01, 0,  // 44100, 88200 bytes per second
      2,    0,    8,   0,   'd',  'a',  't',  'a', 3,   0,   0,   0,   9, 10, 11, 0,
  };
  EXPECT_EQ(expected, bytes);

  EXPECT_FALSE(writer.open(tempPath("no-such-folder\\x.wav"), format, &error));
  EXPECT_NE(std::string::npos, error.find("cannot create")) << error;
}

}  // namespace
}  // namespace kivo::probe
