#pragma once

#include <kivo/platform.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kivo::test {

// Counts events from another thread; a test waits, with a bound, for a number of them.
class EventCounter {
 public:
  void add(long n = 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    count_ += n;
    changed_.notify_all();
  }
  long count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }
  // True once the count reached `target`; false when `timeout` passed first.
  bool waitFor(long target, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return count_ >= target; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  long count_ = 0;
};

// Initialises COM on the test's thread for the test's lifetime.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  HRESULT status() const { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace kivo::test
