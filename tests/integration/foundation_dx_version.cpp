// The DirectX version as a host sees it on this platform. Wine's system
// directory holds d3d9.dll, so the file probe says 9.0; Wine's DxDiag
// provider reports 9.0c (when it can be reached, see below).

#include <kivo/util.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kivo {
namespace {

TEST(DXVersionOnWine, FileProbeFindsD3d9) {
  char text[32];
  std::memset(text, 'x', sizeof(text));
  DWORD packed = 0;
  ASSERT_EQ(util::GetDXVersion(&packed, text, sizeof(text), false), S_OK);
  EXPECT_STREQ(text, "9.0");
  EXPECT_EQ(packed, 0x00090000u);
}

TEST(DXVersionOnWine, DxDiagProviderReports90c) {
  char text[32] = {};
  DWORD packed = 0;
  ASSERT_EQ(util::GetDXVersion(&packed, text, sizeof(text), true), S_OK);
  EXPECT_STREQ(text, "9.0c");
  EXPECT_EQ(packed, 0x00090003u);

  // The text is cut to its capacity and terminated.
  char shortText[3] = {'x', 'x', 'x'};
  ASSERT_EQ(util::GetDXVersion(nullptr, shortText, sizeof(shortText), true), S_OK);
  EXPECT_STREQ(shortText, "9.");
}

TEST(DXVersionOnWine, QueryUsesTheFilesOnly) {
  std::string text;
  DWORD packed = 0;
  util::queryDXVersion(text, &packed);
  EXPECT_EQ(text, "9.0");
  EXPECT_EQ(packed, 0x00090000u);
  util::queryDXVersion(text, nullptr);
  EXPECT_EQ(text, "9.0");
}

TEST(DXVersionOnWine, ProviderIsUnreachableFromTheMultithreadedApartment) {
  // The provider lives in a single-threaded apartment and its interface
  // cannot be marshalled: created from a thread of the multithreaded
  // apartment, Wine answers E_NOINTERFACE. The query then falls back to the
  // file probe, and the caller's COM state is left as it was.
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  char text[8] = {};
  DWORD packed = 0;
  EXPECT_EQ(util::GetDXVersion(&packed, text, sizeof(text), true), S_OK);
  EXPECT_STREQ(text, "9.0");
  EXPECT_EQ(packed, 0x00090000u);
  // Still initialised in the same apartment: a second MTA request only
  // counts up (S_FALSE).
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  CoUninitialize();
  CoUninitialize();
}

}  // namespace
}  // namespace kivo
