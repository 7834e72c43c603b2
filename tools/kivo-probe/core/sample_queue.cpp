#include "core/sample_queue.h"

#include <utility>

namespace kivo::probe {

bool SampleQueue::push(CapturedSample&& sample) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return closed_ || samples_.size() < capacity_; });
  if (closed_) return false;
  samples_.push_back(std::move(sample));
  lock.unlock();
  changed_.notify_all();
  return true;
}

bool SampleQueue::pop(CapturedSample* sample, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, wait, [&] { return !samples_.empty(); })) return false;
  *sample = std::move(samples_.front());
  samples_.pop_front();
  lock.unlock();
  changed_.notify_all();
  return true;
}

void SampleQueue::close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

size_t SampleQueue::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return samples_.size();
}

}  // namespace kivo::probe
