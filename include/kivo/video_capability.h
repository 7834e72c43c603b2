#pragma once

#include <kivo/export.h>
#include <kivo/platform.h>
#include <kivo/video_subtype.h>

#include <string>

namespace kivo {

class VideoCaps;
class VideoCaptureGraph;

// One video format a capture pin offers: its media type, frame-size range,
// the stream-capability index the pin knows it by, its subtype and a full
// name such as YUY2_640x480 by which a host picks it.
class KIVO_API VideoCapability {
 public:
  VideoCapability(const VideoCapability& other);
  VideoCapability& operator=(const VideoCapability& other);
  virtual ~VideoCapability();

  int getCapabilityID() const;
  int getMaxWidth() const;
  int getMaxHeight() const;
  int getMinWidth() const;
  int getMinHeight() const;
  const char* getFullName() const;
  const VideoSubtype& getSubtype() const;

 private:
  friend class VideoCaps;
  friend class VideoCaptureGraph;
  KIVO_TEST_ACCESS;

  // Copies the media type (whose format block must be a VIDEOINFOHEADER) and
  // takes the size range from caps, or from the header when caps is null.
  VideoCapability(const AM_MEDIA_TYPE* mediaType, int capabilityID,
                  const VIDEO_STREAM_CONFIG_CAPS* caps);

  void copy(const VideoCapability& other);
  void destroy();
  // Sets the size range and writes the maximum size into the header;
  // returns the header's height as it was before.
  int init(const VIDEO_STREAM_CONFIG_CAPS* caps);
  void updateName();
  // The owned media type; null only when it could not be copied. The device
  // graph writes the subtype and frame interval of the selected format here.
  const AM_MEDIA_TYPE* getMediaType() const;
  // The media type's VIDEOINFOHEADER; null when there is none to read.
  VIDEOINFOHEADER* header() const;

  int maxWidth;
  int maxHeight;
  int minWidth;
  int minHeight;
  int capabilityID;
  AM_MEDIA_TYPE* mediaType;
  VideoSubtype subtype;
  std::string fullName;
};

}  // namespace kivo
