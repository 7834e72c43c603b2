#include <kivo/dx_media_info.h>
#include <kivo/util.h>
#include <kivo/video_subtype.h>

#include "foundation/fourcc.h"

#include <dvdmedia.h>
#include <mmreg.h>

#include <climits>
#include <cstddef>
#include <iterator>

namespace kivo {

namespace {

// The fields kivo reads of a WAVEFORMATEX end before cbSize, so a block of
// that length (a PCMWAVEFORMAT) describes audio completely.
constexpr ULONG kMinimumWaveFormat = offsetof(WAVEFORMATEX, cbSize);

// The format block as a WAVEFORMATEXTENSIBLE when it is one whole: the
// extensible tag, an extension of at least the 22 bytes that follow
// WAVEFORMATEX, and a block that holds them. Null otherwise.
const WAVEFORMATEXTENSIBLE* extensibleWaveFormat(const AM_MEDIA_TYPE& type) {
  if (!type.pbFormat || type.cbFormat < sizeof(WAVEFORMATEXTENSIBLE)) return nullptr;
  const auto* wave = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(type.pbFormat);
  constexpr WORD kExtension = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
  if (wave->Format.wFormatTag != WAVE_FORMAT_EXTENSIBLE || wave->Format.cbSize < kExtension)
    return nullptr;
  return wave;
}

// An extensible sub-format made from a WAVE format tag has the FOURCC form
// with the tag as its code; KSDATAFORMAT_SUBTYPE_PCM is the one of tag 1.
bool isWaveTagSubFormat(const GUID& subFormat) {
  return isFourccSubtype(subFormat) && subFormat.Data1 <= 0xFFFF;
}

bool hasVideoInfoHeader(const AM_MEDIA_TYPE& type) {
  return IsEqualGUID(type.formattype, FORMAT_VideoInfo) ||
         IsEqualGUID(type.formattype, FORMAT_MPEGVideo);
}

bool hasVideoInfoHeader2(const AM_MEDIA_TYPE& type) {
  return IsEqualGUID(type.formattype, FORMAT_VideoInfo2) ||
         IsEqualGUID(type.formattype, FORMAT_MPEG2Video);
}

// The format block as a VIDEOINFOHEADER (VideoInfo and MPEG-1 blocks begin
// with one); null when the block is missing or too short.
const VIDEOINFOHEADER* videoInfoHeader(const AM_MEDIA_TYPE& type) {
  if (!hasVideoInfoHeader(type) || !type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER))
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

// The same for VIDEOINFOHEADER2 (VideoInfo2 and MPEG-2 blocks).
const VIDEOINFOHEADER2* videoInfoHeader2(const AM_MEDIA_TYPE& type) {
  if (!hasVideoInfoHeader2(type) || !type.pbFormat || type.cbFormat < sizeof(VIDEOINFOHEADER2))
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
}

// Frames per second of a frame interval; 0.0 for an interval of 0.
double framesPerSecond(REFERENCE_TIME interval) {
  return interval != 0 ? static_cast<double>(util::kUnitsPerSecond) / static_cast<double>(interval)
                       : 0.0;
}

int absoluteHeight(LONG height) {
  if (height >= 0) return height;
  return height == LONG_MIN ? INT_MAX : -height;
}

struct TagName {
  unsigned int tag;
  const char* name;
};

// WAVE format tags by their registered constant names.
const TagName kTagNames[] = {
    {0x0001, "PCM"},
    {0x0002, "ADPCM"},
    {0x0003, "IEEE_FLOAT"},
    {0x0005, "IBM_CVSD"},
    {0x0006, "ALAW"},
    {0x0007, "MULAW"},
    {0x0010, "OKI_ADPCM"},
    {0x0011, "DVI_ADPCM"},
    {0x0012, "MEDIASPACE_ADPCM"},
    {0x0013, "SIERRA_ADPCM"},
    {0x0014, "G723_ADPCM"},
    {0x0015, "DIGISTD"},
    {0x0016, "DIGIFIX"},
    {0x0017, "DIALOGIC_OKI_ADPCM"},
    {0x0018, "MEDIAVISION_ADPCM"},
    {0x0020, "YAMAHA_ADPCM"},
    {0x0021, "SONARC"},
    {0x0023, "ECHOSC1"},
    {0x0024, "AUDIOFILE_AF36"},
    {0x0025, "APTX"},
    {0x0026, "AUDIOFILE_AF10"},
    {0x0030, "DOLBY_AC2"},
    {0x0031, "GSM610"},
    {0x0032, "MSNAUDIO"},
    {0x0033, "ANTEX_ADPCME"},
    {0x0034, "CONTROL_RES_VQLPC"},
    {0x0035, "DIGIREAL"},
    {0x0036, "DIGIADPCM"},
    {0x0037, "CONTROL_RES_CR10"},
    {0x0038, "NMS_VBXADPCM"},
    {0x0039, "CS_IMAADPCM"},
    {0x003A, "ECHOSC3"},
    {0x003B, "ROCKWELL_ADPCM"},
    {0x003C, "ROCKWELL_DIGITALK"},
    {0x003D, "XEBEC"},
    {0x0040, "G721_ADPCM"},
    {0x0041, "G728_CELP"},
    {0x0050, "MPEG"},
    {0x0055, "MPEGLAYER3"},
    {0x0060, "CIRRUS"},
    {0x0061, "ESPCM"},
    {0x0062, "VOXWARE"},
    {0x0063, "CANOPUS_ATRAC"},
    {0x0064, "G726_ADPCM"},
    {0x0065, "G722_ADPCM"},
    {0x0067, "DSAT_DISPLAY"},
    {0x0080, "SOFTSOUND"},
    {0x0100, "RHETOREX_ADPCM"},
    {0x0161, "WMAUDIO"},
    {0x0162, "WMAUDIO"},
    {0x0200, "CREATIVE_ADPCM"},
    {0x0202, "CREATIVE_FASTSPEECH8"},
    {0x0203, "CREATIVE_FASTSPEECH10"},
    {0x0220, "QUARTERDECK"},
    {0x0300, "FM_TOWNS_SND"},
    {0x0400, "BTV_DIGITAL"},
    {0x1000, "OLIGSM"},
    {0x1001, "OLIADPCM"},
    {0x1002, "OLICELP"},
    {0x1003, "OLISBC"},
    {0x1004, "OLIOPR"},
    {0x1100, "LH_CODEC"},
    {0x1400, "NORRIS"},
    {0x1500, "SOUNDSPACE_MUSICOMPRESS"},
    {0x2000, "DVM"},
};

}  // namespace

namespace util {

void audioFormatTagName(unsigned int tag, std::string& name) {
  for (const TagName& row : kTagNames) {
    if (row.tag == tag) {
      name = row.name;
      return;
    }
  }
  name = "UNKNOWN";
}

void videoFormatName(const GUID& formatType, const char* subtypeName, std::string& name) {
  if (IsEqualGUID(formatType, FORMAT_VideoInfo) || IsEqualGUID(formatType, FORMAT_VideoInfo2))
    name = subtypeName ? subtypeName : "";
  else if (IsEqualGUID(formatType, FORMAT_MPEGVideo))
    name = "MPEG1";
  else if (IsEqualGUID(formatType, FORMAT_MPEG2Video))
    name = "MPEG2";
  else if (IsEqualGUID(formatType, FORMAT_WaveFormatEx))
    name = "Invalid Video Format";
  else
    name = "Unknown Video Format";
}

}  // namespace util

DXMediaInfo::DXMediaInfo(const CMediaType& type)
    : mediaType(new CMediaType(type)),
      videoWidth(0),
      videoHeight(0),
      averageFrameRate(0.0),
      videoBitDepth(0),
      numColorChannels(3),
      audioSampleRate(0),
      audioBitDepth(0),
      audioNumChannels(0),
      audioBufferSize(0),
      audioValidBitsPerSample(0),
      audioChannelMask(0) {
  initMediaInfo();
}

DXMediaInfo::DXMediaInfo(const DXMediaInfo& other)
    : mediaType(new CMediaType(*other.mediaType)),
      formatName(other.formatName),
      videoWidth(other.videoWidth),
      videoHeight(other.videoHeight),
      averageFrameRate(other.averageFrameRate),
      videoBitDepth(other.videoBitDepth),
      numColorChannels(other.numColorChannels),
      audioSampleRate(other.audioSampleRate),
      audioBitDepth(other.audioBitDepth),
      audioNumChannels(other.audioNumChannels),
      audioBufferSize(other.audioBufferSize),
      audioSubFormatName(other.audioSubFormatName),
      audioValidBitsPerSample(other.audioValidBitsPerSample),
      audioChannelMask(other.audioChannelMask) {}

DXMediaInfo::~DXMediaInfo() { delete mediaType; }

bool DXMediaInfo::validAudioFormat() const {
  return IsEqualGUID(mediaType->majortype, MEDIATYPE_Audio) &&
         IsEqualGUID(mediaType->formattype, FORMAT_WaveFormatEx) && mediaType->pbFormat &&
         mediaType->cbFormat >= kMinimumWaveFormat;
}

bool DXMediaInfo::validVideoFormat() const {
  return IsEqualGUID(mediaType->majortype, MEDIATYPE_Video) &&
         (hasVideoInfoHeader(*mediaType) || hasVideoInfoHeader2(*mediaType));
}

void DXMediaInfo::initMediaInfo() {
  if (validAudioFormat())
    initAudioInfo();
  else if (validVideoFormat())
    initVideoInfo();
}

void DXMediaInfo::initAudioInfo() {
  if (!validAudioFormat()) return;
  const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(mediaType->pbFormat);
  util::audioFormatTagName(wave->wFormatTag, formatName);
  audioBitDepth = wave->wBitsPerSample;
  audioNumChannels = wave->nChannels;
  audioSampleRate = static_cast<int>(wave->nSamplesPerSec);
  audioBufferSize = static_cast<int>(mediaType->GetSampleSize());
  audioSubFormatName = formatName;
  audioValidBitsPerSample = audioBitDepth;
  const WAVEFORMATEXTENSIBLE* extensible = extensibleWaveFormat(*mediaType);
  if (!extensible) return;
  const GUID& subFormat = extensible->SubFormat;
  if (isWaveTagSubFormat(subFormat)) util::audioFormatTagName(subFormat.Data1, audioSubFormatName);
  // The same 16 bits count the samples of a block in compressed formats.
  const WORD validBits = extensible->Samples.wValidBitsPerSample;
  const bool sampled = audioSubFormatName == "PCM" || audioSubFormatName == "IEEE_FLOAT";
  if (sampled && validBits != 0) audioValidBitsPerSample = validBits;
  audioChannelMask = extensible->dwChannelMask;
}

void DXMediaInfo::initVideoInfo() {
  if (!validVideoFormat()) return;
  // The subtype reads the compression code and bit count of the frame's
  // bitmap header, which sits at another place in a VIDEOINFOHEADER2.
  VIDEOINFOHEADER bitmap = {};
  const VIDEOINFOHEADER* header = videoInfoHeader(*mediaType);
  if (const VIDEOINFOHEADER2* header2 = videoInfoHeader2(*mediaType)) {
    bitmap.bmiHeader = header2->bmiHeader;
    header = &bitmap;
  }
  const VideoSubtype subtype(header, mediaType->subtype, 480);
  util::videoFormatName(mediaType->formattype, subtype.getName(), formatName);
  populateVideoInfo();
}

void DXMediaInfo::populateVideoInfo() {
  if (const VIDEOINFOHEADER* header = videoInfoHeader(*mediaType)) {
    videoWidth = header->bmiHeader.biWidth;
    videoHeight = header->bmiHeader.biHeight;
    videoBitDepth = header->bmiHeader.biBitCount;
    averageFrameRate = framesPerSecond(header->AvgTimePerFrame);
  } else if (const VIDEOINFOHEADER2* header2 = videoInfoHeader2(*mediaType)) {
    averageFrameRate = framesPerSecond(header2->AvgTimePerFrame);
    videoWidth = header2->bmiHeader.biWidth;
    videoHeight = absoluteHeight(header2->bmiHeader.biHeight);
    videoBitDepth = header2->bmiHeader.biBitCount;
  }
}

bool DXMediaInfo::containsAudio() const { return validAudioFormat(); }
bool DXMediaInfo::containsVideo() const { return validVideoFormat(); }
int DXMediaInfo::getVideoWidth() const { return videoWidth; }
int DXMediaInfo::getVideoHeight() const { return videoHeight; }
int DXMediaInfo::getVideoBitDepth() const { return videoBitDepth; }
double DXMediaInfo::getAverageFrameRate() const { return averageFrameRate; }
int DXMediaInfo::getNumColorChannels() const { return numColorChannels; }
int DXMediaInfo::getAudioSampleRate() const { return audioSampleRate; }
int DXMediaInfo::getAudioBitDepth() const { return audioBitDepth; }
int DXMediaInfo::getAudioNumChannels() const { return audioNumChannels; }
int DXMediaInfo::getAudioBufferSize() const { return audioBufferSize; }
const std::string& DXMediaInfo::getFormatName() const { return formatName; }
const std::string& DXMediaInfo::getAudioSubFormatName() const { return audioSubFormatName; }
int DXMediaInfo::getAudioValidBitsPerSample() const { return audioValidBitsPerSample; }
unsigned int DXMediaInfo::getAudioChannelMask() const { return audioChannelMask; }

}  // namespace kivo
