#pragma once

// Counts the frames a graph delivers and notes when the first and the last
// arrived, for kivo-bench and kivo-soak. The streaming thread pays a clock
// read and a few atomic operations per frame; it takes the lock only for
// the one frame a waiting thread asked for, so that counting does not slow
// the stream being measured.

#include <kivo/media_cb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kivo::tools {

// How long the tools wait for a frame that a started graph owes them.
constexpr std::chrono::milliseconds kFrameWait(10000);

class FrameCounter {
 public:
  using Clock = std::chrono::steady_clock;

  // Called for every frame, on the streaming thread.
  void add() {
    const Clock::rep now = Clock::now().time_since_epoch().count();
    last_.store(now);
    const long count = ++frames_;
    if (count == 1) first_.store(now);
    if (count == awaited_.load()) {
      std::lock_guard<std::mutex> lock(mutex_);
      arrived_.notify_all();
    }
  }

  // Waits, at most `bound`, until `count` frames have arrived in all.
  bool waitFor(long count, std::chrono::milliseconds bound) {
    awaited_.store(count);
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, bound, [&] { return frames_.load() >= count; });
  }

  long frames() const { return frames_.load(); }
  Clock::time_point first() const { return Clock::time_point(Clock::duration(first_.load())); }
  Clock::time_point last() const { return Clock::time_point(Clock::duration(last_.load())); }

  // Starts counting from zero; only while no graph delivers to it.
  void clear() {
    frames_.store(0);
    awaited_.store(-1);
    first_.store(0);
    last_.store(0);
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::atomic<long> frames_{0};
  std::atomic<long> awaited_{-1};
  std::atomic<Clock::rep> first_{0};
  std::atomic<Clock::rep> last_{0};
};

// A host callback that only counts. A VideoCaptureGraph destroys it at
// reset; a FileCaptureGraph leaves it to its owner.
class CountingCallback : public kivo::IMediaCB {
 public:
  explicit CountingCallback(FrameCounter* counter) : counter_(counter) {}
  ~CountingCallback() override = default;
  long processSample(double, IMediaSample*) override {
    counter_->add();
    return S_OK;
  }

 private:
  FrameCounter* counter_;
};

}  // namespace kivo::tools
