// AVI and WAV structures made in memory: which are refused before any parser sees them.

#include "file/riff_structure.h"

#include <gtest/gtest.h>

#include <string>

namespace kivo {
namespace {

template <class T>
std::string bytes(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

// A chunk whose size field says `size` (its body's size unless given), padded to an even size.
std::string chunk(const char* id, const std::string& body, long long size = -1) {
  const DWORD stated = static_cast<DWORD>(size < 0 ? static_cast<long long>(body.size()) : size);
  return std::string(id, 4) + bytes(stated) + body + std::string(body.size() % 2, '\0');
}
std::string list(const char* type, const std::string& body, long long size = -1) {
  return chunk("LIST", std::string(type, 4) + body, size);
}
std::string riff(const char* form, const std::string& body) {
  return "RIFF" + bytes(static_cast<DWORD>(body.size() + 4)) + form + body;
}

std::string audioFormat(WORD channels) {
  const PCMWAVEFORMAT pcm = {{WAVE_FORMAT_PCM, channels, 44100, 44100 * 4, 4}, 16};
  return bytes(pcm);
}
// A stream list of the type, with the video compression or the audio channel count.
std::string streamList(const char* type, DWORD code, long long size = -1) {
  const BITMAPINFOHEADER bitmap = {sizeof(BITMAPINFOHEADER), 160, 120, 1, 24, code, 0, 0, 0, 0, 0};
  const std::string format = type[0] == 'v' ? bytes(bitmap) : audioFormat(WORD(code));
  const std::string header = std::string(type, 4) + std::string(44, '\0');
  return list("strl", chunk("strh", header) + chunk("strf", format), size);
}

const DWORD kMjpg = MAKEFOURCC('M', 'J', 'P', 'G');
const std::string kMain = chunk("avih", std::string(56, '\0'));
const std::string kStreams = streamList("vids", BI_RGB) + streamList("auds", 2);
const std::string kHeader = list("hdrl", kMain + kStreams);
const std::string kFrames = list("movi", chunk("00dc", "\xff\xd8 picture"));
std::string avi(const std::string& header, const std::string& rest = kFrames) {
  return riff("AVI ", header + rest);
}
std::string wave(const std::string& chunks) { return riff("WAVE", chunks); }

TEST(RiffStructure, RefusesWhatNoParserCanReadAndNothingElse) {
  const struct {
    const char* name;
    std::string file;
    bool broken;
  } cases[] = {
      {"whole", avi(kHeader), false},
      {"header list of size 0", avi(list("hdrl", "", 0) + kMain + kStreams), true},
      {"header list past the end", avi(list("hdrl", kMain + kStreams, 0xFFFFFFFF)), true},
      {"main header of size 0", avi(list("hdrl", chunk("avih", "", 0) + kStreams)), true},
      {"stream list of size 0", avi(list("hdrl", kMain + chunk("LIST", "", 0))), true},
      {"stream list past 4 GiB", avi(list("hdrl", kMain + streamList("vids", 0, 0xFFFFFFFF))),
       true},
      {"stream list past its list", avi(list("hdrl", kMain + streamList("vids", 0, 99999))), false},
      {"one whole stream", avi(list("hdrl", kMain + list("strl", "") + kStreams)), false},
      {"header list of a damaged type", avi(list("hdr?", kMain + kStreams)), false},
      {"sound of no channel", avi(list("hdrl", kMain + streamList("auds", 0))), true},
      {"an empty list beside the header", avi(kHeader + chunk("LIST", "", 0)), false},
      {"cut before its data", avi(kHeader, ""), true},
      {"data list of size 0", avi(kHeader, chunk("LIST", "movi", 0) + chunk("00dc", "ab")), false},
      {"cut inside its data", avi(kHeader, list("movi", chunk("00dc", "ab"), 1 << 20)), false},
      {"MJPG of JPEG pictures", avi(list("hdrl", kMain + streamList("vids", kMjpg))), false},
      {"MJPG of other pictures",
       avi(list("hdrl", kMain + streamList("vids", kMjpg)), list("movi", chunk("00dc", "rgb"))),
       true},
      {"MJPG of other pictures in a record",
       avi(list("hdrl", kMain + streamList("vids", kMjpg)),
           list("movi", chunk("00dc", "") + list("rec ", chunk("00dc", "rgb")))),
       true},
      {"sound", wave(chunk("fmt ", audioFormat(2)) + chunk("data", "abcd")), false},
      {"format of size 0", wave(chunk("fmt ", "", 0) + chunk("data", "abcd")), true},
      {"format of no channel", wave(chunk("fmt ", audioFormat(0)) + chunk("data", "abcd")), true},
      {"data before its format", wave(chunk("data", "abcd") + chunk("fmt ", audioFormat(2))), true},
      {"no data chunk (sound is what follows)", wave(chunk("fmt ", audioFormat(2))), false},
      {"another RIFF form", riff("RMID", chunk("data", "x", 999)), false},
  };
  for (const auto& c : cases) {
    FileHead head;
    head.bytes.assign(c.file.begin(), c.file.end());
    head.size = head.bytes.size();
    EXPECT_EQ(hasBrokenRiffStructure(head), c.broken) << c.name;
  }
}

}  // namespace
}  // namespace kivo
