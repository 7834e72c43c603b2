// The hand-over of samples from a streaming thread to kivo-probe's thread.

#include "core/sample_queue.h"

#include <gtest/gtest.h>

#include "support/wait.h"

#include <chrono>
#include <thread>

namespace kivo::probe {
namespace {

using std::chrono::milliseconds;

CapturedSample sampleNumber(uint64_t number) {
  CapturedSample sample;
  sample.number = number;
  sample.bytes.assign(4, static_cast<uint8_t>(number));
  return sample;
}

TEST(SampleQueue, KeepsOrderAndMakesAFullQueueWaitUntilASampleIsTaken) {
  SampleQueue queue(2);
  ASSERT_TRUE(queue.push(sampleNumber(1)));
  ASSERT_TRUE(queue.push(sampleNumber(2)));
  test::EventCounter pushed;
  std::thread producer([&] {
    queue.push(sampleNumber(3));  // waits: the queue is full
    pushed.add();
  });
  EXPECT_FALSE(pushed.waitFor(1, milliseconds(100)));
  CapturedSample sample;
  ASSERT_TRUE(queue.pop(&sample, milliseconds(0)));
  EXPECT_EQ(1u, sample.number);
  EXPECT_TRUE(pushed.waitFor(1, milliseconds(5000)));
  producer.join();
  ASSERT_TRUE(queue.pop(&sample, milliseconds(0)));
  EXPECT_EQ(2u, sample.number);
  ASSERT_TRUE(queue.pop(&sample, milliseconds(0)));
  EXPECT_EQ(3u, sample.number);
  EXPECT_EQ((std::vector<uint8_t>{3, 3, 3, 3}), sample.bytes);
  EXPECT_FALSE(queue.pop(&sample, milliseconds(10)));
}

TEST(SampleQueue, ClosingReleasesAWaitingProducerAndRefusesMoreSamples) {
  SampleQueue queue(1);
  ASSERT_TRUE(queue.push(sampleNumber(1)));
  test::EventCounter refused;
  std::thread producer([&] {
    if (!queue.push(sampleNumber(2))) refused.add();
  });
  queue.close();
  EXPECT_TRUE(refused.waitFor(1, milliseconds(5000)));
  producer.join();
  EXPECT_FALSE(queue.push(sampleNumber(3)));
  // What was queued before closing can still be taken.
  CapturedSample sample;
  ASSERT_TRUE(queue.pop(&sample, milliseconds(0)));
  EXPECT_EQ(1u, sample.number);
  EXPECT_EQ(0u, queue.size());
}

}  // namespace
}  // namespace kivo::probe
