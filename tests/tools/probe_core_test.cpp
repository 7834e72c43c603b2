// kivo-probe's parts that need no kivo, where its end-to-end test sees only messages and file
// sizes: the command line, frame conversion, WAV files.

#include "common/options.h"
#include "common/utf8.h"
#include "core/command_line.h"
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

// Numbers are strict; a case-insensitive name match must be unique, an exact one always wins.
TEST(CommandLine, ParsesOptionsAndRefusesAWrongLineWithAReason) {
  Invocation capture;
  std::string error;
  ASSERT_TRUE(parseCommandLine({"capture", "--frames", "5", "--out=C:\\x", "--", "--odd name"},
                               &capture, &error))
      << error;
  EXPECT_EQ(std::vector<std::string>{"--odd name"}, capture.arguments);
  EXPECT_EQ(5, capture.integer("--frames"));
  EXPECT_EQ("C:\\x", capture.text("--out"));
  EXPECT_FALSE(
      parseCommandLine({"capture", "0", "--frames", "2", "--seconds", "1"}, &capture, &error));
  EXPECT_NE(std::string::npos, error.find("together")) << error;
  long long integer = 0;
  EXPECT_TRUE(tools::parseInteger("-9223372036854775808", &integer));
  for (const char* bad : {"", " 5", "1.5", "0x", "99999999999999999999"})
    EXPECT_FALSE(tools::parseInteger(bad, &integer)) << bad;
  double number = 0;
  EXPECT_FALSE(tools::parseNumber("1e999", &number));
  EXPECT_EQ(-1, matchName({"Cam", "CAM"}, "cam"));
  EXPECT_EQ(1, matchName({"Cam", "CAM"}, "CAM"));
}

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

// Three bytes of 8-bit stereo data: finish pads them to four and patches the sizes.
TEST(WavWriter, WritesTheRiffLayoutPatchesTheSizesAndPadsOddData) {
  // PCM; the bytes per second (1) are derived from rate and block, not copied.
  const WavFormat format = {1, 2, 44100, 1, 2, 8};
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::string path = joinPath(tools::narrow(temp), "kivo-tools-test.wav");
  WavWriter writer;
  std::string error;
  const uint8_t data[] = {9, 10, 11};
  ASSERT_TRUE(writer.open(path, format, &error) && writer.append(data, 2, &error) &&
              writer.append(data + 2, 1, &error) && writer.finish(&error))
      << error;
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

  EXPECT_FALSE(writer.open(joinPath(tools::narrow(temp), "no-such-folder\\x.wav"), format, &error));
  EXPECT_NE(std::string::npos, error.find("cannot create")) << error;
}

}  // namespace
}  // namespace kivo::probe
