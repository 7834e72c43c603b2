#include "capi/host_callback.h"

#include <kivo/dx_media_info.h>
#include <kivo/mediatype.h>
#include <kivo/video_subtype.h>

#include <dvdmedia.h>

#include <chrono>
#include <cstdlib>

namespace kivo {
namespace capi {

namespace {

// The planar layouts: the stride is that of their luma plane.
bool isPlanar(colorspace::type type) {
  switch (type) {
    case colorspace::TYPE_I420:
    case colorspace::TYPE_YV12:
    case colorspace::TYPE_YVU9:
    case colorspace::TYPE_NV12:
    case colorspace::TYPE_M420:
      return true;
    default:
      return false;
  }
}

int strideOf(const VideoShape& shape) {
  if (shape.width <= 0 || shape.bitCount <= 0) return 0;
  const long long bits = static_cast<long long>(shape.width) * shape.bitCount;
  if (shape.dib) return static_cast<int>(((bits + 31) / 32) * 4);
  if (isPlanar(shape.type)) return shape.width;
  if (VideoSubtype::identifyColorspaceCategory(shape.type) == colorspace::CATEGORY_NONE) return 0;
  return static_cast<int>(bits / 8);
}

}  // namespace

VideoShape videoShape(const CMediaType& connected) {
  const BITMAPINFOHEADER* bitmap = nullptr;
  const VIDEOINFOHEADER* header = nullptr;
  if (connected.formattype == FORMAT_VideoInfo && connected.pbFormat &&
      connected.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    header = reinterpret_cast<const VIDEOINFOHEADER*>(connected.pbFormat);
    bitmap = &header->bmiHeader;
  } else if (connected.formattype == FORMAT_VideoInfo2 && connected.pbFormat &&
             connected.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    bitmap = &reinterpret_cast<const VIDEOINFOHEADER2*>(connected.pbFormat)->bmiHeader;
  }
  VideoShape shape;
  if (!bitmap) return shape;
  const VideoSubtype subtype(header, connected.subtype, bitmap->biHeight);
  shape.width = bitmap->biWidth;
  shape.height = bitmap->biHeight;
  shape.bitCount = bitmap->biBitCount;
  shape.dib = bitmap->biCompression == BI_RGB || bitmap->biCompression == BI_BITFIELDS;
  shape.type = subtype.getColorspaceType();
  shape.subtype = subtype.getName();
  return shape;
}

FrameLayout videoLayout(const VideoShape& shape) {
  FrameLayout layout;
  layout.width = shape.width;
  layout.height = std::abs(shape.height);
  layout.stride = strideOf(shape);
  layout.bottomUp = shape.dib && shape.height > 0;
  layout.subtype = shape.subtype;
  return layout;
}

FrameLayout audioLayout(const DXMediaInfo& info) {
  FrameLayout layout;
  layout.sampleRate = info.getAudioSampleRate();
  layout.channels = info.getAudioNumChannels();
  layout.bitsPerSample = info.getAudioBitDepth();
  return layout;
}

void describeFrame(const FrameLayout& layout, kivo_frame& frame) {
  frame = kivo_frame{};
  frame.width = layout.width;
  frame.height = layout.height;
  frame.stride = layout.stride;
  frame.bottom_up = layout.bottomUp ? 1 : 0;
  frame.subtype = layout.subtype.c_str();
  frame.sample_rate = layout.sampleRate;
  frame.channels = layout.channels;
  frame.bits_per_sample = layout.bitsPerSample;
}

void HostCallback::setFunction(kivo_frame_callback newFunction, void* newContext) {
  std::lock_guard<std::mutex> guard(lock);
  function = newFunction;
  context = newContext;
}

void HostCallback::holdFrames() {
  std::lock_guard<std::mutex> guard(lock);
  holding = true;
}

void HostCallback::publish(const FrameLayout& layout) {
  {
    std::lock_guard<std::mutex> guard(lock);
    current = layout;
    holding = false;
  }
  published.notify_all();
}

FrameLayout HostCallback::layout() const {
  std::lock_guard<std::mutex> guard(lock);
  return current;
}

long HostCallback::processSample(double sampleTime, IMediaSample* sample) {
  std::unique_lock<std::mutex> guard(lock);
  // Bounded: should start fail before it publishes, frames go on with the
  // layout known before rather than stall the stream.
  published.wait_for(guard, std::chrono::seconds(1), [this] { return !holding; });
  if (!function || !sample) return S_OK;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data))) return S_OK;
  kivo_frame frame;
  describeFrame(current, frame);
  frame.data = data;
  const long length = sample->GetActualDataLength();
  frame.size = length > 0 ? static_cast<size_t>(length) : 0;
  frame.time = sampleTime;
  // Called under the lock: a host replacing its function waits for this
  // frame to be handed over.
  function(context, &frame);
  return S_OK;
}

}  // namespace capi
}  // namespace kivo
