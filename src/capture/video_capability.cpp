#include <kivo/mediatype.h>
#include <kivo/video_capability.h>

#include <climits>
#include <string>

namespace kivo {

VideoCapability::VideoCapability(const AM_MEDIA_TYPE* source, int index,
                                 const VIDEO_STREAM_CONFIG_CAPS* caps)
    : maxWidth(0),
      maxHeight(0),
      minWidth(0),
      minHeight(0),
      capabilityID(index),
      mediaType(CreateMediaType(source)) {
  const int reportedHeight = init(caps);
  // The subtype keeps the height as reported, so that its row order follows
  // the sign the pin gave; the stored header always holds a positive height.
  if (mediaType) subtype.update(header(), mediaType->subtype, reportedHeight);
  updateName();
}

VideoCapability::VideoCapability(const VideoCapability& other)
    : maxWidth(0), maxHeight(0), minWidth(0), minHeight(0), capabilityID(0), mediaType(nullptr) {
  copy(other);
}

VideoCapability& VideoCapability::operator=(const VideoCapability& other) {
  if (this != &other) {
    destroy();
    copy(other);
  }
  return *this;
}

VideoCapability::~VideoCapability() { destroy(); }

void VideoCapability::copy(const VideoCapability& other) {
  mediaType = CreateMediaType(other.mediaType);
  capabilityID = other.capabilityID;
  maxWidth = other.maxWidth;
  maxHeight = other.maxHeight;
  minWidth = other.minWidth;
  minHeight = other.minHeight;
  subtype = other.subtype;
  updateName();
}

void VideoCapability::destroy() {
  DeleteMediaType(mediaType);
  mediaType = nullptr;
}

VIDEOINFOHEADER* VideoCapability::header() const {
  if (!mediaType || !mediaType->pbFormat || mediaType->cbFormat < sizeof(VIDEOINFOHEADER) ||
      !IsEqualGUID(mediaType->formattype, FORMAT_VideoInfo))
    return nullptr;
  return reinterpret_cast<VIDEOINFOHEADER*>(mediaType->pbFormat);
}

int VideoCapability::init(const VIDEO_STREAM_CONFIG_CAPS* caps) {
  VIDEOINFOHEADER* vih = header();
  const LONG reportedHeight = vih ? vih->bmiHeader.biHeight : 0;
  if (caps) {
    const SIZE& maxSize = caps->MaxOutputSize;
    const SIZE& minSize = caps->MinOutputSize;
    // Some drivers report only a minimum size; it is then the one size.
    const bool onlyMinimum =
        maxSize.cx == 0 && maxSize.cy == 0 && minSize.cx != 0 && minSize.cy != 0;
    const SIZE& largest = onlyMinimum ? minSize : maxSize;
    maxWidth = largest.cx;
    maxHeight = largest.cy;
    minWidth = minSize.cx;
    minHeight = minSize.cy;
  } else if (vih) {
    maxWidth = minWidth = vih->bmiHeader.biWidth;
    // The height's sign only gives the row order.
    maxHeight = minHeight = reportedHeight >= 0          ? reportedHeight
                            : reportedHeight == LONG_MIN ? LONG_MAX
                                                         : -reportedHeight;
  }
  if (vih) {
    vih->bmiHeader.biWidth = maxWidth;
    vih->bmiHeader.biHeight = maxHeight;
  }
  return reportedHeight;
}

void VideoCapability::updateName() {
  fullName = subtype.getName();
  fullName += '_';
  fullName += std::to_string(maxWidth);
  fullName += 'x';
  fullName += std::to_string(maxHeight);
}

int VideoCapability::getCapabilityID() const { return capabilityID; }
int VideoCapability::getMaxWidth() const { return maxWidth; }
int VideoCapability::getMaxHeight() const { return maxHeight; }
int VideoCapability::getMinWidth() const { return minWidth; }
int VideoCapability::getMinHeight() const { return minHeight; }
const char* VideoCapability::getFullName() const { return fullName.c_str(); }
const VideoSubtype& VideoCapability::getSubtype() const { return subtype; }
const AM_MEDIA_TYPE* VideoCapability::getMediaType() const { return mediaType; }

}  // namespace kivo
