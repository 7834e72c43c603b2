#include "foundation/text.h"

#include <gtest/gtest.h>

namespace kivo {
namespace {

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

}  // namespace
}  // namespace kivo
