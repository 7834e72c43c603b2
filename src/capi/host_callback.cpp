#include "capi/host_callback.h"

#include <kivo/dx_media_info.h>

#include <chrono>
#include <cstdlib>
#include <set>

namespace kivo {
namespace capi {

namespace {

// Single-plane layouts whose rows the platform pads to four bytes (DIBs).
bool isRgbLayout(const std::string& name) {
  return name.compare(0, 3, "RGB") == 0 || name.compare(0, 4, "ARGB") == 0;
}

bool isPlanarLayout(const std::string& name) {
  static const std::set<std::string> planar = {"I420", "IYUV", "YV12", "NV12", "YVU9", "M420"};
  return planar.count(name) != 0;
}

bool isPackedYuvLayout(const std::string& name) {
  static const std::set<std::string> packed = {"YUY2", "YUYV", "UYVY", "YVYU", "Y411",
                                               "Y41P", "Y211", "Y444", "AYUV"};
  return packed.count(name) != 0;
}

int strideOf(const std::string& name, int width, int bitCount) {
  if (width <= 0 || bitCount <= 0) return 0;
  const long long bits = static_cast<long long>(width) * bitCount;
  if (isRgbLayout(name)) return static_cast<int>(((bits + 31) / 32) * 4);
  if (isPackedYuvLayout(name)) return static_cast<int>(bits / 8);
  if (isPlanarLayout(name)) return width;
  return 0;
}

}  // namespace

FrameLayout frameLayout(const DXMediaInfo& info) {
  FrameLayout layout;
  layout.subtype = info.containsVideo() ? info.getFormatName() : "";
  if (info.containsVideo()) {
    layout.width = info.getVideoWidth();
    layout.height = std::abs(info.getVideoHeight());
    layout.stride = strideOf(layout.subtype, layout.width, info.getVideoBitDepth());
    layout.bottomUp = isRgbLayout(layout.subtype) && info.getVideoHeight() > 0;
  }
  if (info.containsAudio()) {
    layout.sampleRate = info.getAudioSampleRate();
    layout.channels = info.getAudioNumChannels();
    layout.bitsPerSample = info.getAudioBitDepth();
  }
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
