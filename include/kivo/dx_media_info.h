#pragma once

#include <kivo/export.h>
#include <kivo/mediatype.h>
#include <kivo/platform.h>

#include <string>

namespace kivo {

// Describes one connected media type: frame size, bit depth, frame rate and
// format name of a video type; sample rate, depth, channels, buffer size and
// WAVE format name of an audio type. Worked out once, at construction.
class KIVO_API DXMediaInfo {
 public:
  explicit DXMediaInfo(const CMediaType& mediaType);
  DXMediaInfo(const DXMediaInfo& other);
  DXMediaInfo& operator=(const DXMediaInfo& other) = delete;
  virtual ~DXMediaInfo();

  bool containsAudio() const;
  bool containsVideo() const;
  int getVideoWidth() const;
  // Negative for a top-down VIDEOINFOHEADER frame.
  int getVideoHeight() const;
  int getVideoBitDepth() const;
  double getAverageFrameRate() const;
  int getNumColorChannels() const;
  int getAudioSampleRate() const;
  int getAudioBitDepth() const;
  int getAudioNumChannels() const;
  int getAudioBufferSize() const;
  const std::string& getFormatName() const;

  // The sample format of an audio type. A WAVE_FORMAT_EXTENSIBLE block
  // (whose tag getFormatName calls "UNKNOWN") is named by its sub-format:
  // "PCM", "IEEE_FLOAT", the tag name of another sub-format made from a WAVE
  // format tag, "UNKNOWN" for any other GUID or a block too short to hold
  // one. Any other audio type gets its tag name; a type that is not audio
  // gets "".
  const std::string& getAudioSubFormatName() const;
  // The bits of each sample that carry signal: an extensible PCM or float
  // block's wValidBitsPerSample when it gives one, otherwise the bits per
  // sample; 0 for a type that is not audio.
  int getAudioValidBitsPerSample() const;
  // The speaker positions of the channels (SPEAKER_FRONT_LEFT...) that an
  // extensible block assigns; 0 when the type assigns none.
  unsigned int getAudioChannelMask() const;

 private:
  void initMediaInfo();
  void initAudioInfo();
  void initVideoInfo();
  void populateVideoInfo();
  bool validAudioFormat() const;
  bool validVideoFormat() const;

  CMediaType* mediaType;
  std::string formatName;
  int videoWidth;
  int videoHeight;
  double averageFrameRate;
  int videoBitDepth;
  int numColorChannels;
  int audioSampleRate;
  int audioBitDepth;
  int audioNumChannels;
  int audioBufferSize;
  std::string audioSubFormatName;
  int audioValidBitsPerSample;
  unsigned int audioChannelMask;
};

}  // namespace kivo
