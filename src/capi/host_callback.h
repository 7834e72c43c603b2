#pragma once

// The bridge from kivo's sample callbacks to a C host's function pointer.

#include <kivo/colorspace.h>
#include <kivo/kivo_c.h>
#include <kivo/media_cb.h>

#include <condition_variable>
#include <mutex>
#include <string>

namespace kivo {
class CMediaType;
class DXMediaInfo;

namespace capi {

// What a host is told about the frames of one stream, besides their bytes.
struct FrameLayout {
  int width = 0;
  int height = 0;
  int stride = 0;
  bool bottomUp = false;
  std::string subtype;
  int sampleRate = 0;
  int channels = 0;
  int bitsPerSample = 0;
};

// How the video frames of a connection are laid out.
struct VideoShape {
  int width = 0;
  int height = 0;  // as the bitmap header has it: negative for rows top row first
  int bitCount = 0;
  bool dib = false;  // BI_RGB or BI_BITFIELDS rows, each padded to four bytes
  colorspace::type type = colorspace::TYPE_COMPRESSED;  // or a layout kivo does not know
  std::string subtype;
};

// The shape of a connected media type; an empty one when it is no video.
VideoShape videoShape(const CMediaType& connected);

// The layout of video frames of `shape`. The stride follows the platform's
// rules: DIB rows padded to four bytes, packed YUV rows without padding, the
// luma plane of a planar layout one byte per pixel; 0 for compressed frames
// and layouts kivo does not know.
FrameLayout videoLayout(const VideoShape& shape);
FrameLayout audioLayout(const DXMediaInfo& info);

// Fills the format fields of a kivo_frame (no data, no time).
void describeFrame(const FrameLayout& layout, kivo_frame& frame);

// One stream's callback: the host's function and context, and the layout
// its frames have. The graph that calls it never disposes of it (destroy()
// does nothing): the C handle that owns it deletes it after its graph.
//
// Replacing the function waits for a call in progress to return, so that
// once the host's call returns the old function is never called again.
//
// A device graph builds its DirectShow graph anew at every start, so the
// layout is known only once start has returned, and a frame may arrive
// before: between holdFrames() and publish() a frame waits (at most a
// second) for the layout.
class HostCallback : public IMediaCB {
 public:
  HostCallback() = default;
  ~HostCallback() override = default;
  void setFunction(kivo_frame_callback function, void* context);
  void holdFrames();
  void publish(const FrameLayout& layout);
  FrameLayout layout() const;
  long processSample(double sampleTime, IMediaSample* sample) override;
  void destroy() override {}

 private:
  HostCallback(const HostCallback&) = delete;
  HostCallback& operator=(const HostCallback&) = delete;
  mutable std::mutex lock;
  std::condition_variable published;
  kivo_frame_callback function = nullptr;
  void* context = nullptr;
  FrameLayout current;
  bool holding = false;
};

}  // namespace capi
}  // namespace kivo
