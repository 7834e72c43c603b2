#include <kivo/dx_media_info.h>

#include "support/com_fake.h"

#include <dvdmedia.h>

#include <gtest/gtest.h>

#include <memory>

namespace kivo {
namespace {

using test::ComFake;

class FakeUnknown : public ComFake<IPersist> {
 public:
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
    *id = GUID_NULL;
    return S_OK;
  }
};

CMediaType audioType(WORD tag, WORD channels, DWORD rate, WORD bits, ULONG formatLength) {
  CMediaType type(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_PCM);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  WAVEFORMATEX wave = {};
  wave.wFormatTag = tag;
  wave.nChannels = channels;
  wave.nSamplesPerSec = rate;
  wave.wBitsPerSample = bits;
  wave.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  wave.nAvgBytesPerSec = rate * wave.nBlockAlign;
  type.SetFormat(reinterpret_cast<const BYTE*>(&wave), formatLength);
  return type;
}

CMediaType videoInfoType(const GUID& formatType, const GUID& subtype, LONG width, LONG height,
                         WORD bits, REFERENCE_TIME interval, ULONG formatLength = 0) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetFormatType(&formatType);
  VIDEOINFOHEADER vih = {};
  vih.AvgTimePerFrame = interval;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = width;
  vih.bmiHeader.biHeight = height;
  vih.bmiHeader.biBitCount = bits;
  type.SetFormat(reinterpret_cast<const BYTE*>(&vih),
                 formatLength ? formatLength : sizeof(VIDEOINFOHEADER));
  return type;
}

CMediaType videoInfo2Type(const GUID& formatType, const GUID& subtype, LONG width, LONG height,
                          WORD bits, REFERENCE_TIME interval, DWORD compression = 0,
                          ULONG formatLength = sizeof(VIDEOINFOHEADER2)) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetFormatType(&formatType);
  MPEG2VIDEOINFO block = {};  // begins with a VIDEOINFOHEADER2
  VIDEOINFOHEADER2& vih = block.hdr;
  vih.AvgTimePerFrame = interval;
  vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  vih.bmiHeader.biWidth = width;
  vih.bmiHeader.biHeight = height;
  vih.bmiHeader.biBitCount = bits;
  vih.bmiHeader.biCompression = compression;
  type.SetFormat(reinterpret_cast<const BYTE*>(&block), formatLength);
  return type;
}

void expectNoVideo(const DXMediaInfo& info) {
  EXPECT_EQ(info.getVideoWidth(), 0);
  EXPECT_EQ(info.getVideoHeight(), 0);
  EXPECT_EQ(info.getVideoBitDepth(), 0);
  EXPECT_EQ(info.getAverageFrameRate(), 0.0);
}

void expectNoAudio(const DXMediaInfo& info) {
  EXPECT_EQ(info.getAudioSampleRate(), 0);
  EXPECT_EQ(info.getAudioBitDepth(), 0);
  EXPECT_EQ(info.getAudioNumChannels(), 0);
  EXPECT_EQ(info.getAudioBufferSize(), 0);
}

TEST(DXMediaInfo, DescribesPcmAudio) {
  CMediaType type = audioType(WAVE_FORMAT_PCM, 2, 44100, 16, sizeof(WAVEFORMATEX));
  type.SetSampleSize(4);
  DXMediaInfo info(type);
  EXPECT_TRUE(info.containsAudio());
  EXPECT_FALSE(info.containsVideo());
  EXPECT_EQ(info.getFormatName(), "PCM");
  EXPECT_EQ(info.getAudioSampleRate(), 44100);
  EXPECT_EQ(info.getAudioBitDepth(), 16);
  EXPECT_EQ(info.getAudioNumChannels(), 2);
  EXPECT_EQ(info.getAudioBufferSize(), 4);
  EXPECT_EQ(info.getNumColorChannels(), 3);
  expectNoVideo(info);

  type.SetVariableSize();
  EXPECT_EQ(DXMediaInfo(type).getAudioBufferSize(), 0);
}

TEST(DXMediaInfo, UnlistedTagsAreUnknownButStillMeasured) {
  DXMediaInfo info(audioType(0xFFFE, 6, 48000, 24, sizeof(WAVEFORMATEX) + 22));
  EXPECT_EQ(info.getFormatName(), "UNKNOWN");
  EXPECT_EQ(info.getAudioSampleRate(), 48000);
  EXPECT_EQ(info.getAudioBitDepth(), 24);
  EXPECT_EQ(info.getAudioNumChannels(), 6);
}

TEST(DXMediaInfo, AudioNeedsAFormatBlockWithTheFieldsRead) {
  // A PCMWAVEFORMAT block (no cbSize) holds every field read.
  DXMediaInfo pcm(audioType(WAVE_FORMAT_PCM, 1, 8000, 8, 16));
  EXPECT_TRUE(pcm.containsAudio());
  EXPECT_EQ(pcm.getAudioSampleRate(), 8000);

  for (ULONG length : {0ul, 15ul}) {
    DXMediaInfo info(audioType(WAVE_FORMAT_PCM, 1, 8000, 8, length));
    EXPECT_FALSE(info.containsAudio()) << length;
    EXPECT_EQ(info.getFormatName(), "") << length;
    expectNoAudio(info);
  }

  // A null block that claims a size is never read.
  AM_MEDIA_TYPE lying = {};
  lying.majortype = MEDIATYPE_Audio;
  lying.formattype = FORMAT_WaveFormatEx;
  lying.cbFormat = sizeof(WAVEFORMATEX);
  DXMediaInfo info{CMediaType(lying)};
  EXPECT_FALSE(info.containsAudio());
  EXPECT_EQ(info.getFormatName(), "");
}

TEST(DXMediaInfo, VideoInfoHeaderKeepsTheSignOfTheHeight) {
  DXMediaInfo info(videoInfoType(FORMAT_VideoInfo, MEDIASUBTYPE_YUY2, 640, -480, 16, 333333));
  EXPECT_TRUE(info.containsVideo());
  EXPECT_FALSE(info.containsAudio());
  EXPECT_EQ(info.getFormatName(), "YUY2");
  EXPECT_EQ(info.getVideoWidth(), 640);
  EXPECT_EQ(info.getVideoHeight(), -480);
  EXPECT_EQ(info.getVideoBitDepth(), 16);
  EXPECT_NEAR(info.getAverageFrameRate(), 30.00003, 1e-9);
  EXPECT_EQ(info.getNumColorChannels(), 3);
  expectNoAudio(info);

  DXMediaInfo still(videoInfoType(FORMAT_VideoInfo, MEDIASUBTYPE_RGB24, 320, 240, 24, 0));
  EXPECT_EQ(still.getAverageFrameRate(), 0.0);
  EXPECT_EQ(still.getFormatName(), "RGB24");
  EXPECT_EQ(still.getNumColorChannels(), 3);
}

TEST(DXMediaInfo, VideoInfoHeader2ReportsAPositiveHeight) {
  DXMediaInfo info(videoInfo2Type(FORMAT_VideoInfo2, MEDIASUBTYPE_YUY2, 640, -480, 16, 400000));
  EXPECT_TRUE(info.containsVideo());
  EXPECT_EQ(info.getFormatName(), "YUY2");
  EXPECT_EQ(info.getVideoWidth(), 640);
  EXPECT_EQ(info.getVideoHeight(), 480);
  EXPECT_EQ(info.getVideoBitDepth(), 16);
  EXPECT_DOUBLE_EQ(info.getAverageFrameRate(), 25.0);
}

TEST(DXMediaInfo, UnlistedSubtypesInAVideoInfoHeader2AreNamedFromItsOwnBitmapHeader) {
  const GUID foreign = {0x0badf00d, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
  DXMediaInfo info(videoInfo2Type(FORMAT_VideoInfo2, foreign, 320, 240, 24, 0, BI_RGB));
  EXPECT_EQ(info.getFormatName(), "RGB24");
  DXMediaInfo old(videoInfoType(FORMAT_VideoInfo, foreign, 320, 240, 32, 0));
  EXPECT_EQ(old.getFormatName(), "RGB32");
}

TEST(DXMediaInfo, MpegBlocksAreNamedByTheirFormat) {
  DXMediaInfo mpeg2(videoInfo2Type(FORMAT_MPEG2Video, MEDIASUBTYPE_YUY2, 720, 576, 0, 400000, 0,
                                   sizeof(MPEG2VIDEOINFO)));
  EXPECT_EQ(mpeg2.getFormatName(), "MPEG2");
  EXPECT_EQ(mpeg2.getVideoWidth(), 720);
  EXPECT_EQ(mpeg2.getVideoHeight(), 576);
  EXPECT_DOUBLE_EQ(mpeg2.getAverageFrameRate(), 25.0);

  DXMediaInfo mpeg1(
      videoInfoType(FORMAT_MPEGVideo, MEDIASUBTYPE_RGB24, 352, 288, 0, 0, sizeof(MPEG1VIDEOINFO)));
  EXPECT_EQ(mpeg1.getFormatName(), "MPEG1");
  EXPECT_EQ(mpeg1.getVideoWidth(), 352);
  EXPECT_EQ(mpeg1.getVideoHeight(), 288);
}

TEST(DXMediaInfo, ShortOrMissingVideoBlocksAreNamedButNotRead) {
  DXMediaInfo shortVih(
      videoInfoType(FORMAT_VideoInfo, MEDIASUBTYPE_YUY2, 640, 480, 16, 333333, 87));
  EXPECT_TRUE(shortVih.containsVideo());
  EXPECT_EQ(shortVih.getFormatName(), "YUY2");
  expectNoVideo(shortVih);

  DXMediaInfo shortVih2(videoInfo2Type(FORMAT_VideoInfo2, MEDIASUBTYPE_YUY2, 640, 480, 16, 333333,
                                       0, sizeof(VIDEOINFOHEADER)));
  EXPECT_EQ(shortVih2.getFormatName(), "YUY2");
  expectNoVideo(shortVih2);

  AM_MEDIA_TYPE lying = {};
  lying.majortype = MEDIATYPE_Video;
  lying.subtype = MEDIASUBTYPE_UYVY;
  lying.formattype = FORMAT_MPEG2Video;
  lying.cbFormat = sizeof(MPEG2VIDEOINFO);
  DXMediaInfo noBlock{CMediaType(lying)};
  EXPECT_TRUE(noBlock.containsVideo());
  EXPECT_EQ(noBlock.getFormatName(), "MPEG2");
  expectNoVideo(noBlock);
}

TEST(DXMediaInfo, OtherTypesKeepTheInitialValues) {
  CMediaType dv = videoInfoType(FORMAT_DvInfo, MEDIASUBTYPE_dvsd, 720, 480, 24, 333667);
  CMediaType audioAsVideo = videoInfoType(FORMAT_WaveFormatEx, MEDIASUBTYPE_YUY2, 1, 1, 1, 1);
  CMediaType videoAsAudio = audioType(WAVE_FORMAT_PCM, 2, 44100, 16, sizeof(WAVEFORMATEX));
  videoAsAudio.SetType(&MEDIATYPE_Video);
  CMediaType empty;
  for (const CMediaType* type : {&dv, &audioAsVideo, &videoAsAudio, &empty}) {
    DXMediaInfo info(*type);
    EXPECT_FALSE(info.containsAudio());
    EXPECT_FALSE(info.containsVideo());
    EXPECT_EQ(info.getFormatName(), "");
    EXPECT_EQ(info.getNumColorChannels(), 3);
    expectNoVideo(info);
    expectNoAudio(info);
  }
}

TEST(DXMediaInfo, CopiesOwnTheirMediaType) {
  FakeUnknown unknown;
  {
    CMediaType type = videoInfoType(FORMAT_VideoInfo, MEDIASUBTYPE_RGB32, 800, 600, 32, 400000);
    type.pUnk = &unknown;
    unknown.AddRef();
    auto source = std::make_unique<DXMediaInfo>(type);
    EXPECT_EQ(unknown.refs(), 2);
    DXMediaInfo copy(*source);
    EXPECT_EQ(unknown.refs(), 3);
    source.reset();
    EXPECT_EQ(unknown.refs(), 2);
    EXPECT_TRUE(copy.containsVideo());
    EXPECT_EQ(copy.getFormatName(), "RGB32");
    EXPECT_EQ(copy.getVideoWidth(), 800);
    EXPECT_EQ(copy.getVideoHeight(), 600);
    EXPECT_EQ(copy.getVideoBitDepth(), 32);
    EXPECT_DOUBLE_EQ(copy.getAverageFrameRate(), 25.0);
  }
  EXPECT_EQ(unknown.refs(), 0);
}

TEST(AudioFormatTagName, NamesRegisteredTagsOnly) {
  struct Case {
    unsigned int tag;
    const char* name;
  };
  const Case cases[] = {
      {0x0001, "PCM"},
      {0x0003, "IEEE_FLOAT"},
      {0x0011, "DVI_ADPCM"},
      {0x0055, "MPEGLAYER3"},
      {0x0161, "WMAUDIO"},
      {0x0162, "WMAUDIO"},
      {0x1500, "SOUNDSPACE_MUSICOMPRESS"},
      {0x2000, "DVM"},
      {0x0000, "UNKNOWN"},
      {0x0004, "UNKNOWN"},
      {0x0160, "UNKNOWN"},
      {0xFFFE, "UNKNOWN"},
      {0x10001, "UNKNOWN"},
  };
  for (const Case& c : cases) {
    std::string name = "previous";
    util::audioFormatTagName(c.tag, name);
    EXPECT_EQ(name, c.name) << std::hex << c.tag;
  }
}

TEST(VideoFormatName, NamesFormatsNoVideoTypeReaches) {
  std::string name;
  util::videoFormatName(FORMAT_WaveFormatEx, "YUY2", name);
  EXPECT_EQ(name, "Invalid Video Format");
  util::videoFormatName(FORMAT_DvInfo, "YUY2", name);
  EXPECT_EQ(name, "Unknown Video Format");
  util::videoFormatName(FORMAT_VideoInfo2, nullptr, name);
  EXPECT_EQ(name, "");
}

}  // namespace
}  // namespace kivo
