#pragma once

// The private operations of VideoCapability and VideoCaps, for the unit tests
// (one definition for every test file).

#include <kivo/video_capability.h>
#include <kivo/video_caps.h>

#include <memory>

namespace kivo {

template <>
struct TestAccess<VideoCapability> {
  static VideoCapability make(const AM_MEDIA_TYPE* type, int id,
                              const VIDEO_STREAM_CONFIG_CAPS* caps) {
    return VideoCapability(type, id, caps);
  }
  static const AM_MEDIA_TYPE* mediaType(const VideoCapability& c) { return c.getMediaType(); }
};

template <>
struct TestAccess<VideoCaps> {
  static std::unique_ptr<VideoCaps> make() { return std::unique_ptr<VideoCaps>(new VideoCaps()); }
  static void initialize(VideoCaps& caps, IPin* pin) { caps.initialize(CComPtr<IPin>(pin)); }
};

}  // namespace kivo
