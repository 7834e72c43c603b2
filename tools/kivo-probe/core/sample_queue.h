#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace kivo::probe {

// One media sample copied out of DirectShow's buffer.
struct CapturedSample {
  uint64_t number = 0;  // 1 for the first sample of the stream
  std::vector<uint8_t> bytes;
};

// Hands samples from a streaming thread to the program's thread. A full
// queue makes the streaming thread wait (so that no sample is lost while
// files are written) until the program takes one or closes the queue.
class SampleQueue {
 public:
  explicit SampleQueue(size_t capacity) : capacity_(capacity ? capacity : 1) {}

  // Adds a sample, waiting while the queue is full. False, and the sample
  // dropped, once the queue is closed.
  bool push(CapturedSample&& sample);
  // Takes the oldest sample, waiting up to `wait` for one. False when none
  // came in time.
  bool pop(CapturedSample* sample, std::chrono::milliseconds wait);
  // From now on push neither waits nor adds; samples already queued can
  // still be taken.
  void close();
  size_t size() const;

 private:
  const size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<CapturedSample> samples_;
  bool closed_ = false;
};

}  // namespace kivo::probe
