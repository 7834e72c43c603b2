#include <kivo/util.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivo {
namespace {

using namespace util;

TEST(TimeConversion, SecondsAndReferenceTime) {
  EXPECT_EQ(secondsToReferenceTime(1.5), 15000000);
  EXPECT_DOUBLE_EQ(referenceTimeToSeconds(15000000), 1.5);
  EXPECT_EQ(secondsToReferenceTime(-0.00000005), 0);  // truncated toward zero
  EXPECT_EQ(secondsToReferenceTime(-1.00000009), -10000000);
}

TEST(TimeConversion, FramesTruncateOnTheWayInAndRoundOnTheWayOut) {
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

}  // namespace
}  // namespace kivo
