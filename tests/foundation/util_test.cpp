#include <kivo/util.h>

#include "foundation/fault_guard.h"
#include "foundation/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <stdexcept>
#include <string>

namespace kivo {
namespace {

using namespace util;

// Seconds and frames truncate toward zero on the way in, frames round on the way out.
TEST(TimeConversion, TruncateOnTheWayInRoundOnTheWayOut) {
  EXPECT_EQ(secondsToReferenceTime(-1.00000009), -10000000);
  EXPECT_EQ(framesToReferenceTime(1, 30.0), 333333);
  EXPECT_EQ(referenceTimeToFrames(5000000, 1.0), 1);  // half a frame rounds up
  EXPECT_EQ(referenceTimeToFrames(4999999, 1.0), 0);
  // Out of range saturates, a rate of zero too; NaN is no time.
  EXPECT_EQ(secondsToReferenceTime(1e300), LLONG_MAX);
  EXPECT_EQ(framesToReferenceTime(-1, 0.0), LLONG_MIN);
  EXPECT_EQ(referenceTimeToFrames(0, std::nan("")), 0);
  // NTSC rate: every frame time converts back to its own frame.
  const double ntsc = 30000.0 / 1001.0;
  for (LONGLONG frame = 0; frame < 1000; ++frame)
    ASSERT_EQ(referenceTimeToFrames(framesToReferenceTime(frame, ntsc), ntsc), frame) << frame;
}

// The host's text arrives in the system code page.
TEST(TextConversion, SystemCodePageAndUtf8LeaveNullArgumentsAloneAndSurviveBrokenText) {
  const char text[] = "caf\xe9";
  EXPECT_EQ(getWideCharAllocSize(text), 5u);
  wchar_t expected[8] = {}, buffer[5] = {L'?'};
  ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, text, -1, expected, 8), 0);
  charToWideChar(text, buffer, 5);
  charToWideChar(nullptr, buffer, 5);  // null arguments and no room change nothing
  charToWideChar(text, buffer, 0);
  EXPECT_STREQ(buffer, expected);
  std::wstring wide = L"previous contents";
  stringToWideString(std::string("ab\0cd", 5), wide);
  EXPECT_EQ(wide, L"ab");  // text after an embedded NUL is no part of it
  // UTF-8 both ways, surrogate pairs included; broken text is replaced, never a crash.
  EXPECT_EQ(toUtf8(L"\xd83d\xdcf7"), "\xf0\x9f\x93\xb7");
  EXPECT_EQ(fromUtf8("\xf0\x9f\x93\xb7"), L"\xd83d\xdcf7");
  EXPECT_EQ(toUtf8(nullptr), "");
  EXPECT_EQ(fromUtf8(nullptr), L"");
  const std::string broken = toUtf8(L"a\xd800z");
  EXPECT_TRUE(broken.size() >= 2 && broken.front() == 'a' && broken.back() == 'z') << broken;
  const std::wstring brokenWide = fromUtf8("a\xffz");
  EXPECT_TRUE(brokenWide.size() >= 2 && brokenWide.front() == L'a' && brokenWide.back() == L'z');
}

// A driver that throws inside a guarded call is contained.
TEST(RunContained, ReportsCompletedWorkAndContainsAnyException) {
  int calls = 0;
  EXPECT_TRUE(detail::runContained([](void* count) { ++*static_cast<int*>(count); }, &calls));
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(detail::runContained([](void*) { throw std::runtime_error("driver"); }, nullptr));
  EXPECT_FALSE(detail::runContained([](void*) { throw 42; }, nullptr));
}

}  // namespace
}  // namespace kivo
