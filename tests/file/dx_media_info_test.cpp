// What a connected media type tells the host: frame size, depth, rate and format name of video,
// rate, depth, channels, buffer size and WAVE tag name of audio.

#include <kivo/dx_media_info.h>
#include <kivo/util.h>

#include <dvdmedia.h>
#include <mmreg.h>

#include "foundation/fourcc.h"
#include "support/com_fake.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kivo {
namespace {

using test::ComFake;

// A zeroed format block of type `Header` with the frame interval set; its bitmap header.
template <class Header>
BITMAPINFOHEADER* allocHeader(CMediaType& type, REFERENCE_TIME interval) {
  auto* header = reinterpret_cast<Header*>(type.AllocFormatBuffer(sizeof(Header)));
  *header = {};
  header->AvgTimePerFrame = interval;
  return &header->bmiHeader;
}

CMediaType videoType(const GUID& format, const GUID& subtype, LONG width, LONG height,
                     REFERENCE_TIME interval) {
  CMediaType type;
  type.SetType(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetFormatType(&format);
  BITMAPINFOHEADER* bitmap = format == FORMAT_VideoInfo2 || format == FORMAT_MPEG2Video
                                 ? allocHeader<VIDEOINFOHEADER2>(type, interval)
                                 : allocHeader<VIDEOINFOHEADER>(type, interval);
  bitmap->biWidth = width;
  bitmap->biHeight = height;
  bitmap->biBitCount = 16;
  return type;
}

CMediaType audioType(WORD tag, bool fixedSize) {
  CMediaType type;
  type.SetType(&MEDIATYPE_Audio);
  type.SetSubtype(&MEDIASUBTYPE_PCM);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  WAVEFORMATEX wave = {tag, 2, 44100, 44100 * 4, 4, 16, 0};
  type.SetFormat(reinterpret_cast<const BYTE*>(&wave), sizeof(wave));
  if (fixedSize) {
    type.SetSampleSize(4);
  } else {
    type.SetVariableSize();
  }
  return type;
}

std::string tagName(unsigned int tag) {
  std::string name;
  util::audioFormatTagName(tag, name);
  return name;
}

// The file tests read an uncompressed AVI's size, rate and name; here the other blocks.
TEST(DXMediaInfo, VideoSizeDepthRateAndNameFollowTheFormatBlock) {
  const DXMediaInfo vih(videoType(FORMAT_VideoInfo, MEDIASUBTYPE_YUY2, 640, -480, 333333));
  EXPECT_EQ(vih.getVideoHeight(), -480);  // top-down, as stored
  EXPECT_EQ(vih.getVideoBitDepth(), 16);
  EXPECT_NEAR(vih.getAverageFrameRate(), 30.00003, 1e-5);
  EXPECT_EQ(vih.getAudioSampleRate() + vih.getAudioBitDepth() + vih.getAudioNumChannels(), 0);

  const DXMediaInfo vih2(videoType(FORMAT_VideoInfo2, MEDIASUBTYPE_YUY2, 640, -480, 0));
  EXPECT_EQ(vih2.getVideoWidth(), 640);
  EXPECT_EQ(vih2.getVideoHeight(), 480);  // always the absolute height
  EXPECT_EQ(vih2.getAverageFrameRate(), 0.0);
  for (const GUID* mpeg : {&FORMAT_MPEG2Video, &FORMAT_MPEGVideo})
    EXPECT_EQ(DXMediaInfo(videoType(*mpeg, MEDIASUBTYPE_YUY2, 720, 576, 400000)).getFormatName(),
              *mpeg == FORMAT_MPEGVideo ? "MPEG1" : "MPEG2");

  // Without a format block: still video and named, but no size, depth or rate.
  CMediaType bare = videoType(FORMAT_VideoInfo, MEDIASUBTYPE_RGB24, 640, 480, 333333);
  bare.ResetFormatBuffer();
  const DXMediaInfo blind(bare);
  EXPECT_TRUE(blind.containsVideo());
  EXPECT_EQ(blind.getFormatName(), "RGB24");
  EXPECT_EQ(blind.getVideoWidth() + blind.getVideoHeight() + blind.getVideoBitDepth(), 0);

  std::string name;
  util::videoFormatName(FORMAT_WaveFormatEx, "YUY2", name);
  EXPECT_EQ(name, "Invalid Video Format");
  util::videoFormatName(GUID_NULL, "YUY2", name);
  EXPECT_EQ(name, "Unknown Video Format");
}

TEST(DXMediaInfo, AudioValuesAndTagNamesAndCopiesOwnTheirType) {
  const DXMediaInfo pcm(audioType(WAVE_FORMAT_PCM, true));
  EXPECT_EQ(pcm.getAudioBufferSize(), 4);
  EXPECT_EQ(pcm.getNumColorChannels(), 3);

  CMediaType bare = audioType(WAVE_FORMAT_PCM, true);
  bare.ResetFormatBuffer();
  const DXMediaInfo blind(bare);
  EXPECT_FALSE(blind.containsAudio());
  EXPECT_EQ(blind.getFormatName(), "");

  EXPECT_EQ(tagName(0x0162), "WMAUDIO");
  for (unsigned int unlisted : {0x0000u, 0x0160u, 0xFFFEu, 0x10000u})
    EXPECT_EQ(tagName(unlisted), "UNKNOWN") << unlisted;

  // The description holds its own copy of the type, with a reference to the type's object.
  ComFake<IUnknown> owner;
  std::unique_ptr<DXMediaInfo> copy;
  {
    CMediaType type = audioType(0x0003, true);
    type.pUnk = &owner;
    owner.AddRef();
    auto original = std::make_unique<DXMediaInfo>(type);
    copy = std::make_unique<DXMediaInfo>(*original);
  }
  EXPECT_EQ(owner.refs(), 1);  // the copy's; the type and the original let theirs go
  EXPECT_EQ(copy->getFormatName(), "IEEE_FLOAT");  // tag 3
  EXPECT_EQ(copy->getAudioBufferSize(), 4);
  copy.reset();
  EXPECT_EQ(owner.refs(), 0);
}

// Six 24-bit channels in 32-bit containers, `size` bytes of the block handed over: a block too
// short for its extension, or one whose cbSize leaves it out, is not read past WAVEFORMATEX.
TEST(DXMediaInfo, ExtensibleAudioIsDescribedByItsSubFormatWhenTheBlockHoldsOne) {
  const WORD kExtensible = WAVE_FORMAT_EXTENSIBLE, kTail = 22;
  const ULONG kWhole = sizeof(WAVEFORMATEXTENSIBLE);
  const struct {
    WORD tag, cbSize;
    ULONG size;
    GUID subFormat;
    const char* name;
    int validBits, mask;
  } cases[] = {
      {WAVE_FORMAT_PCM, 0, sizeof(WAVEFORMATEX), GUID_NULL, "PCM", 32, 0},
      {kExtensible, kTail, kWhole, MEDIASUBTYPE_PCM, "PCM", 24, 0x3F},
      {kExtensible, kTail, kWhole, fourccSubtype(0x0055), "MPEGLAYER3", 32, 0x3F},
      {kExtensible, kTail, kWhole, MEDIASUBTYPE_Avi, "UNKNOWN", 32, 0x3F},
      {kExtensible, 0, kWhole, MEDIASUBTYPE_PCM, "UNKNOWN", 32, 0},
      {kExtensible, kTail, kWhole - 1, MEDIASUBTYPE_PCM, "UNKNOWN", 32, 0},
  };
  for (const auto& c : cases) {
    WAVEFORMATEXTENSIBLE wave = {{c.tag, 6, 48000, 48000 * 24, 24, 32, c.cbSize}, {24}, 0x3F, {}};
    wave.SubFormat = c.subFormat;
    CMediaType type = audioType(WAVE_FORMAT_PCM, false);
    type.SetFormat(reinterpret_cast<const BYTE*>(&wave), c.size);
    const DXMediaInfo info(type);
    EXPECT_EQ(info.getFormatName(), c.tag == kExtensible ? "UNKNOWN" : "PCM") << c.name;
    EXPECT_EQ(info.getAudioSubFormatName(), c.name);
    EXPECT_EQ(DXMediaInfo(info).getAudioValidBitsPerSample(), c.validBits) << c.name;
    EXPECT_EQ(static_cast<int>(info.getAudioChannelMask()), c.mask) << c.name;
    EXPECT_EQ(info.getAudioSampleRate(), 48000);  // the WAVEFORMATEX part is read all the same
    EXPECT_EQ(info.getAudioBufferSize(), 0);      // variable-size samples
  }
}

}  // namespace
}  // namespace kivo
