#include <kivo/util.h>

#include "foundation/fault_guard.h"
#include "foundation/text.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace kivo {
namespace {

using namespace util;

// Seconds and frames truncate toward zero on the way in, frames round on
// the way out.
TEST(TimeConversion, TruncateOnTheWayInRoundOnTheWayOut) {
  EXPECT_EQ(secondsToReferenceTime(1.5), 15000000);
  EXPECT_DOUBLE_EQ(referenceTimeToSeconds(15000000), 1.5);
  EXPECT_EQ(secondsToReferenceTime(-1.00000009), -10000000);
  EXPECT_EQ(framesToReferenceTime(1, 30.0), 333333);
  EXPECT_EQ(referenceTimeToFrames(333333, 30.0), 1);
  EXPECT_EQ(referenceTimeToFrames(5000000, 1.0), 1);  // half a frame rounds up
  EXPECT_EQ(referenceTimeToFrames(4999999, 1.0), 0);
  // NTSC rate: every frame time converts back to its own frame.
  const double ntsc = 30000.0 / 1001.0;
  for (LONGLONG frame = 0; frame < 1000; ++frame)
    ASSERT_EQ(referenceTimeToFrames(framesToReferenceTime(frame, ntsc), ntsc), frame) << frame;
}

// The host's text arrives in the system code page.
TEST(TextConversion, UsesTheSystemCodePageAndLeavesNullArgumentsAlone) {
  const char text[] = "caf\xe9";
  EXPECT_EQ(getWideCharAllocSize(text), 5u);
  EXPECT_EQ(getWideCharAllocSize(nullptr), 0u);
  wchar_t expected[8] = {};
  ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, text, -1, expected, 8), 0);
  std::vector<wchar_t> buffer(5, L'?');
  charToWideChar(text, buffer.data(), buffer.size());
  EXPECT_EQ(std::wstring(buffer.data()), expected);
  charToWideChar(nullptr, buffer.data(), buffer.size());
  charToWideChar(text, nullptr, 10);
  wchar_t untouched = L'?';
  charToWideChar(text, &untouched, 0);
  EXPECT_EQ(untouched, L'?');
  std::wstring wide = L"previous contents";
  stringToWideString(std::string("ab\0cd", 5), wide);
  EXPECT_EQ(wide, L"ab");  // text after an embedded NUL is no part of it
}

TEST(ToUtf8, ConvertsPlatformTextToUtf8) {
  EXPECT_EQ(toUtf8(L"Cam\u00e9ra \u2603"), "Cam\xc3\xa9ra \xe2\x98\x83");
  // A character outside the basic plane arrives as a surrogate pair.
  EXPECT_EQ(toUtf8(L"\xd83d\xdcf7"), "\xf0\x9f\x93\xb7");
}

TEST(ToUtf8, NullEmptyAndBrokenTextAreSafe) {
  EXPECT_EQ(toUtf8(nullptr), "");
  EXPECT_EQ(toUtf8(L""), "");
  // A lone surrogate cannot be encoded; it is replaced, never a crash.
  const std::string broken = toUtf8(L"a\xd800z");
  ASSERT_GE(broken.size(), 2u);
  EXPECT_EQ(broken.front(), 'a');
  EXPECT_EQ(broken.back(), 'z');
}

TEST(FromUtf8, ConvertsUtf8ToPlatformText) {
  EXPECT_EQ(fromUtf8("Cam\xc3\xa9ra \xe6\xb8\xac\xe8\xa9\xa6"), L"Cam\u00e9ra \u6e2c\u8a66");
  EXPECT_EQ(fromUtf8("\xf0\x9f\x93\xb7"), L"\xd83d\xdcf7");
  EXPECT_EQ(fromUtf8(nullptr), L"");
  EXPECT_EQ(fromUtf8(""), L"");
  // A byte that starts no UTF-8 sequence is replaced, never a crash.
  const std::wstring broken = fromUtf8("a\xffz");
  ASSERT_GE(broken.size(), 2u);
  EXPECT_EQ(broken.front(), L'a');
  EXPECT_EQ(broken.back(), L'z');
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
