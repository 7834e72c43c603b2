#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/platform.h>
#include <kivo/video_capability.h>

#include <vector>

namespace kivo {

class VideoCaptureGraph;

// The video formats of one capture pin, in the order the pin reported them,
// and which of them is selected.
class KIVO_API VideoCaps {
 public:
  VideoCaps(const VideoCaps& other);
  virtual ~VideoCaps();

  const std::vector<VideoCapability>& getCapabilityList() const;
  int getNumberOfCapabilities() const;

 private:
  friend class VideoCaptureGraph;
  KIVO_TEST_ACCESS;

  VideoCaps();
  VideoCaps& operator=(const VideoCaps& other) = delete;

  void copy(const VideoCaps& other);
  // Drops the capabilities; the pin and the selection stay.
  void destroy();

  // The selection is a position in the list, -1 for none; it is stored
  // without any check.
  int getSelectedCapID() const;
  void setSelectedCapID(int position);
  // The selected capability, or null when the selection is not a position
  // of the list (none, or out of range).
  const VideoCapability* getSelectedCapability() const;

  // Appends the formats of the pin: the stream capabilities when the pin has
  // IAMStreamConfig, else its preferred media types.
  void initialize(const CComPtr<IPin>& pin);
  // Appends a capability when the media type is valid; the caller keeps the
  // media type.
  void addCapability(const AM_MEDIA_TYPE* mediaType, int capabilityID,
                     const VIDEO_STREAM_CONFIG_CAPS* caps);
  // A VIDEOINFOHEADER format block of full size whose picture has a
  // positive width and a non-zero height (its sign gives the row order).
  // Sizes are not bounded otherwise: a device may report any size it likes.
  bool isValidMedia(const AM_MEDIA_TYPE* mediaType) const;

  std::vector<VideoCapability> capabilities;
  CComPtr<IPin> pin;
  int selectedCapID;
};

}  // namespace kivo
