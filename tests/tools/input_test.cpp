// kivo-probe's command line, and the samples a streaming thread hands over.

#include "core/command_line.h"
#include "core/sample_queue.h"

#include <gtest/gtest.h>

#include "support/wait.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace kivo::probe {
namespace {

// Numbers are strict; a case-insensitive name match must be unique, an exact one always wins.
TEST(CommandLine, ParsesOptionsAndRefusesAWrongLineWithAReason) {
  Invocation capture;
  std::string error;
  ASSERT_TRUE(parseCommandLine({"capture", "--frames", "5", "--out=C:\\x", "--", "--odd name"},
                               &capture, &error))
      << error;
  EXPECT_EQ(std::vector<std::string>{"--odd name"}, capture.arguments);
  EXPECT_EQ(5, capture.integer("--frames"));
  EXPECT_EQ("C:\\x", capture.text("--out"));
  Invocation refused;
  EXPECT_FALSE(
      parseCommandLine({"capture", "0", "--frames", "2", "--seconds", "1"}, &refused, &error));
  EXPECT_NE(std::string::npos, error.find("together")) << error;
  long long integer = 0;
  EXPECT_TRUE(tools::parseInteger("-9223372036854775808", &integer));
  for (const char* bad : {"", " 5", "1.5", "0x", "99999999999999999999"})
    EXPECT_FALSE(tools::parseInteger(bad, &integer)) << bad;
  double number = 0;
  EXPECT_FALSE(tools::parseNumber("1e999", &number));
  EXPECT_EQ(-1, matchName({"Cam", "CAM"}, "cam"));
  EXPECT_EQ(1, matchName({"Cam", "CAM"}, "CAM"));
}

using std::chrono::milliseconds;

CapturedSample sampleNumber(uint64_t number) {
  CapturedSample sample;
  sample.number = number;
  return sample;
}

// A full queue makes the producer wait until a sample is taken or the queue closes.
TEST(SampleQueue, KeepsOrderAndAFullQueueWaitsForTheConsumerOrTheClose) {
  SampleQueue queue(1);
  ASSERT_TRUE(queue.push(sampleNumber(1)));
  test::EventCounter pushed;
  std::thread producer([&] {
    if (queue.push(sampleNumber(2))) pushed.add();
    if (!queue.push(sampleNumber(3))) pushed.add();  // refused once closed
  });
  EXPECT_FALSE(pushed.waitFor(1, milliseconds(100)));
  CapturedSample sample;
  ASSERT_TRUE(queue.pop(&sample, milliseconds(0)));
  EXPECT_EQ(1u, sample.number);
  EXPECT_TRUE(pushed.waitFor(1, milliseconds(5000)));
  queue.close();
  EXPECT_TRUE(pushed.waitFor(2, milliseconds(5000)));
  producer.join();
  EXPECT_FALSE(queue.push(sampleNumber(4)));
  ASSERT_TRUE(queue.pop(&sample, milliseconds(0)));  // queued before closing: still there
  EXPECT_EQ(2u, sample.number);
  EXPECT_FALSE(queue.pop(&sample, milliseconds(10)));
}

}  // namespace
}  // namespace kivo::probe
