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
};

}  // namespace kivo
