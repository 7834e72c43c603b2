// What DXMediaInfo reads from a media type, at the edges of its format
// blocks; malformed blocks are covered by the randomized capture tests.

#include <kivo/dx_media_info.h>

#include "support/com_fake.h"

#include <dvdmedia.h>

#include <gtest/gtest.h>

namespace kivo {
namespace {

CMediaType audioType(ULONG formatLength) {
  CMediaType type(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_PCM);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  const WAVEFORMATEX wave = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  type.SetFormat(reinterpret_cast<const BYTE*>(&wave), formatLength);
  return type;
}

// A video type whose block begins with a VIDEOINFOHEADER2 (as MPEG2VIDEOINFO
// does) or a VIDEOINFOHEADER.
CMediaType videoType(const GUID& formatType, LONG height, ULONG formatLength) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&MEDIASUBTYPE_YUY2);
  type.SetFormatType(&formatType);
  MPEG2VIDEOINFO block = {};
  const bool vih2 = formatType == FORMAT_VideoInfo2 || formatType == FORMAT_MPEG2Video;
  BITMAPINFOHEADER& bitmap =
      vih2 ? block.hdr.bmiHeader : reinterpret_cast<VIDEOINFOHEADER*>(&block)->bmiHeader;
  reinterpret_cast<VIDEOINFOHEADER*>(&block)->AvgTimePerFrame = 400000;
  bitmap = {sizeof(BITMAPINFOHEADER), 640, height, 1, 16, BI_RGB, 0, 0, 0, 0, 0};
  type.SetFormat(reinterpret_cast<const BYTE*>(&block), formatLength);
  return type;
}

TEST(DXMediaInfo, AudioNeedsTheFieldsItReads) {
  const DXMediaInfo pcm(audioType(16));  // a PCMWAVEFORMAT, without cbSize
  EXPECT_TRUE(pcm.containsAudio());
  EXPECT_EQ(pcm.getFormatName(), "PCM");
  EXPECT_EQ(pcm.getAudioSampleRate(), 44100);
  EXPECT_EQ(pcm.getAudioNumChannels(), 2);
  EXPECT_EQ(pcm.getAudioBitDepth(), 16);
  const DXMediaInfo cut(audioType(15));
  EXPECT_FALSE(cut.containsAudio());
  EXPECT_EQ(cut.getFormatName(), "");
  EXPECT_EQ(cut.getAudioSampleRate(), 0);
}

TEST(DXMediaInfo, VideoHeightsKeepTheirSignOnlyInAVideoInfoHeader) {
  const DXMediaInfo vih(videoType(FORMAT_VideoInfo, -480, sizeof(VIDEOINFOHEADER)));
  EXPECT_EQ(vih.getFormatName(), "YUY2");
  EXPECT_EQ(vih.getVideoWidth(), 640);
  EXPECT_EQ(vih.getVideoHeight(), -480);
  EXPECT_DOUBLE_EQ(vih.getAverageFrameRate(), 25.0);
  const DXMediaInfo vih2(videoType(FORMAT_VideoInfo2, -480, sizeof(VIDEOINFOHEADER2)));
  EXPECT_EQ(vih2.getVideoHeight(), 480);
  const DXMediaInfo mpeg2(videoType(FORMAT_MPEG2Video, 576, sizeof(MPEG2VIDEOINFO)));
  EXPECT_EQ(mpeg2.getFormatName(), "MPEG2");
  EXPECT_EQ(mpeg2.getVideoHeight(), 576);
  // A block too short for its header is named but not read.
  const DXMediaInfo cut(videoType(FORMAT_VideoInfo2, 480, sizeof(VIDEOINFOHEADER)));
  EXPECT_TRUE(cut.containsVideo());
  EXPECT_EQ(cut.getFormatName(), "YUY2");
  EXPECT_EQ(cut.getVideoWidth(), 0);
  EXPECT_EQ(cut.getAverageFrameRate(), 0.0);
}

TEST(DXMediaInfo, CopiesOwnTheirMediaType) {
  test::ComFake<IUnknown> unknown;
  {
    CMediaType type = videoType(FORMAT_VideoInfo, 600, sizeof(VIDEOINFOHEADER));
    (type.pUnk = &unknown)->AddRef();
    auto source = std::make_unique<DXMediaInfo>(type);
    const DXMediaInfo copy(*source);
    EXPECT_EQ(unknown.refs(), 3);
    source.reset();
    EXPECT_EQ(unknown.refs(), 2);
    EXPECT_EQ(copy.getVideoHeight(), 600);
  }
  EXPECT_EQ(unknown.refs(), 0);
}

TEST(AudioFormatTagName, NamesRegisteredTagsOnly) {
  const std::pair<unsigned int, const char*> cases[] = {{0x0001, "PCM"},     {0x0162, "WMAUDIO"},
                                                        {0x2000, "DVM"},     {0x0000, "UNKNOWN"},
                                                        {0xFFFE, "UNKNOWN"}, {0x10001, "UNKNOWN"}};
  for (const auto& [tag, expected] : cases) {
    std::string name = "previous";
    util::audioFormatTagName(tag, name);
    EXPECT_EQ(name, expected) << std::hex << tag;
  }
}

}  // namespace
}  // namespace kivo
