// WAV output of kivo-probe.

#include "core/files.h"
#include "core/wav.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kivo::probe {
namespace {

WavFormat stereo16() {
  WavFormat format;
  format.formatTag = 1;
  format.channels = 2;
  format.samplesPerSecond = 44100;
  format.averageBytesPerSecond = 1;  // derived from rate and block, not copied
  format.blockAlign = 4;
  format.bitsPerSample = 16;
  return format;
}

std::string tempPath(const char* name) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return joinPath(narrow(folder), name);
}

std::vector<uint8_t> readAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::FILE* file = _wfopen(widen(path).c_str(), L"rb");
  if (!file) return bytes;
  uint8_t buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(file);
  return bytes;
}

TEST(WavHeader, MatchesTheRiffLayoutByteForByte) {
  const std::vector<uint8_t> expected = {
      'R',  'I',  'F',  'F', 44,  0,   0,   0,                       // 36 + 8 data bytes
      'W',  'A',  'V',  'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0,  // PCM
      2,    0,                                                       // channels
      0x44, 0xAC, 0,    0,                                           // 44100
      0x10, 0xB1, 0x02, 0,                                           // 176400 bytes per second
      4,    0,                                                       // block
      16,   0,                                                       // bits
      'd',  'a',  't',  'a', 8,   0,   0,   0,
  };
  EXPECT_EQ(expected, wavHeader(stereo16(), 8));
}

TEST(WavWriter, WritesHeaderAndChunksAndPatchesTheSizes) {
  const std::string path = tempPath("kivo-tools-test.wav");
  WavWriter writer;
  std::string error;
  ASSERT_TRUE(writer.open(path, stereo16(), &error)) << error;
  const std::vector<uint8_t> first = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<uint8_t> second = {9, 10, 11, 12};
  ASSERT_TRUE(writer.append(first.data(), first.size(), &error)) << error;
  ASSERT_TRUE(writer.append(second.data(), second.size(), &error)) << error;
  ASSERT_TRUE(writer.finish(&error)) << error;
  std::vector<uint8_t> expected = wavHeader(stereo16(), 12);
  expected.insert(expected.end(), first.begin(), first.end());
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(expected, readAll(path));

  // An odd amount of 8-bit mono data gets its pad byte.
  WavFormat mono8 = stereo16();
  mono8.channels = 1;
  mono8.bitsPerSample = 8;
  mono8.blockAlign = 1;
  WavWriter oddWriter;
  ASSERT_TRUE(oddWriter.open(path, mono8, &error)) << error;
  ASSERT_TRUE(oddWriter.append(second.data(), 3, &error));
  ASSERT_TRUE(oddWriter.finish(&error)) << error;
  const std::vector<uint8_t> bytes = readAll(path);
  ASSERT_EQ(48u, bytes.size());
  EXPECT_EQ(40, bytes[4]);  // RIFF size 36 + 4
  EXPECT_EQ(3, bytes[40]);  // data size
  EXPECT_EQ(0, bytes[47]);
  DeleteFileW(widen(path).c_str());
}

TEST(WavWriter, RefusesFormatsItCannotWriteAndUnwritablePaths) {
  WavWriter writer;
  std::string error;
  WavFormat format = stereo16();
  format.formatTag = 2;  // ADPCM
  EXPECT_FALSE(writer.open(tempPath("x.wav"), format, &error));
  EXPECT_NE(std::string::npos, error.find("format tag 2")) << error;

  for (auto spoil : {+[](WavFormat& f) { f.bitsPerSample = 12; },
                     +[](WavFormat& f) { f.blockAlign = 3; },
                     +[](WavFormat& f) { f.samplesPerSecond = 0; }}) {
    format = stereo16();
    spoil(format);
    EXPECT_FALSE(isWritableWavFormat(format, &error));
  }

  error.clear();
  EXPECT_FALSE(writer.open(tempPath("no-such-folder\\x.wav"), stereo16(), &error));
  EXPECT_NE(std::string::npos, error.find("cannot create")) << error;
  EXPECT_FALSE(writer.append(nullptr, 0, &error));
}

}  // namespace
}  // namespace kivo::probe
