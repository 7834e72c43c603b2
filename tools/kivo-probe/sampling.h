#pragma once

// What the capture and file commands share: the callback that copies
// samples off DirectShow's streaming thread, the writer of frame files, and
// the progress line.

#include "core/image.h"
#include "core/sample_queue.h"

#include <kivo/platform.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <kivo/media_cb.h>

namespace kivo::probe {

// Seconds on a steady clock.
double now();

// Whether the user asked the program to stop (Ctrl+C): the capture and file
// loops then stop the graph and finish as after their last frame.
bool interrupted();
// Installs the console handler that sets the flag above.
void watchForInterruption();

// What a stream's callback shares with the program's thread.
struct StreamState {
  explicit StreamState(size_t capacity) : queue(capacity) {}

  std::atomic<uint64_t> delivered{0};
  std::atomic<uint64_t> bytes{0};  // the samples' data lengths added up
  std::atomic<double> firstArrival{0.0};
  std::atomic<double> lastArrival{0.0};
  // Set before the graph runs: whether sample bytes are kept, and for how
  // many samples (0: all).
  std::atomic<bool> keepBytes{false};
  uint64_t keepLimit = 0;
  SampleQueue queue;

  // Frames per second measured between the first and the last arrival.
  double measuredRate() const;
};

// Counts every sample and, when asked, queues a copy of its bytes. It runs
// on the streaming thread and never touches the graph.
class SampleCollector : public IMediaCB {
 public:
  explicit SampleCollector(std::shared_ptr<StreamState> state) : state_(std::move(state)) {}
  long processSample(double, IMediaSample* sample) override;

 private:
  std::shared_ptr<StreamState> state_;
};

// Disposes of a host-owned callback when it goes out of scope.
struct CallbackDeleter {
  void operator()(IMediaCB* callback) const {
    if (callback) callback->destroy();
  }
};
using CallbackHolder = std::unique_ptr<IMediaCB, CallbackDeleter>;

// The frame layout of a connected video media type (VIDEOINFOHEADER or
// VIDEOINFOHEADER2 format block); `subtypeName` receives the subtype's name.
// False when the type has no video format block or a subtype that cannot be
// written as a picture.
bool layoutFromMediaType(const AM_MEDIA_TYPE& type, FrameLayout* layout, std::string* subtypeName);

// Writes frames of one layout as BMP files "frame-000001.bmp"... into a
// folder, numbered by the sample's number.
class FrameWriter {
 public:
  FrameWriter(const FrameLayout& layout, std::string folder)
      : layout_(layout), folder_(std::move(folder)) {}
  bool write(const CapturedSample& sample, std::string* error);
  uint64_t written() const { return written_; }
  uint64_t failed() const { return failed_; }
  const std::string& firstError() const { return firstError_; }

 private:
  FrameLayout layout_;
  std::string folder_;
  RgbImage image_;
  uint64_t written_ = 0;
  uint64_t failed_ = 0;
  std::string firstError_;
};

// The frames of a video stream on the program's side: what the stream's
// callback shares with the program and, when frames are written, the writer
// of their files. It closes the queue when it goes, so that a streaming
// thread waiting in it is released before the graph (declared before it)
// is stopped, on every way out of a command.
class FrameStream {
 public:
  // With `keep`, the callback keeps the bytes of the first `limit` frames
  // (0: all) from the start, for the writer chosen once the format is known.
  FrameStream(size_t capacity, uint64_t limit, bool keep);
  ~FrameStream() { state_->queue.close(); }

  const std::shared_ptr<StreamState>& state() const { return state_; }
  // The kept frames are written into `folder` as pictures of `layout`.
  void writeInto(const FrameLayout& layout, const std::string& folder) {
    writer_.reset(new FrameWriter(layout, folder));
  }
  // No frame is written: none is kept, and none waits in the queue.
  void writeNothing();
  // Takes the next queued frame, waiting up to `wait` for one, and writes
  // it; the wait also paces the caller's loop.
  void writeNext(std::chrono::milliseconds wait);
  void writeQueued();
  // Whether `limit` frames arrived and, when written, were written or failed.
  bool reachedLimit() const {
    return limit_ && state_->delivered.load() >= limit_ &&
           (!writer_ || writer_->written() + writer_->failed() >= limit_);
  }
  // How many frames were written; nothing when none are.
  std::optional<uint64_t> framesWritten() const {
    if (!writer_) return std::nullopt;
    return writer_->written();
  }
  // "N frames written to FOLDER" when frames are written; then a Failure
  // naming the first frame that could not be.
  void reportWritten(const std::string& folder) const;
  void throwIfWriteFailed() const;

 private:
  std::shared_ptr<StreamState> state_;
  uint64_t limit_;
  std::unique_ptr<FrameWriter> writer_;
};

// One progress line, rewritten in place with a carriage return.
class ProgressLine {
 public:
  // Shows the text when `force` or when a quarter of a second passed.
  void show(const std::string& text, bool force = false);
  // Ends the line.
  void finish();

 private:
  double lastShown_ = -1.0;
  size_t lastLength_ = 0;
  bool shown_ = false;
};

std::string formatSeconds(double seconds);
std::string formatRate(double rate);

}  // namespace kivo::probe
