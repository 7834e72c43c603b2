// The DirectX version on Wine: the file probe finds d3d9.dll (9.0); Wine's
// DxDiag provider reports 9.0c but only from a single-threaded apartment.

#include <kivo/util.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kivo {
namespace {

TEST(DXVersionOnWine, FileProbeAndDxDiagProvider) {
  char text[32];
  std::memset(text, 'x', sizeof(text));
  DWORD packed = 0;
  ASSERT_EQ(util::GetDXVersion(&packed, text, sizeof(text), false), S_OK);
  EXPECT_STREQ(text, "9.0");
  EXPECT_EQ(packed, 0x00090000u);
  std::string query;
  util::queryDXVersion(query, &packed);
  EXPECT_EQ(query, "9.0");

  ASSERT_EQ(util::GetDXVersion(&packed, text, sizeof(text), true), S_OK);
  EXPECT_STREQ(text, "9.0c");
  EXPECT_EQ(packed, 0x00090003u);
  char shortText[3] = {'x', 'x', 'x'};  // cut to its capacity and terminated
  ASSERT_EQ(util::GetDXVersion(nullptr, shortText, sizeof(shortText), true), S_OK);
  EXPECT_STREQ(shortText, "9.");
}

TEST(DXVersionOnWine, ProviderIsUnreachableFromTheMultithreadedApartment) {
  // Wine cannot marshal the provider's interface (E_NOINTERFACE): the query
  // falls back to the file probe and leaves the caller's COM state as it was.
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  char text[8] = {};
  DWORD packed = 0;
  EXPECT_EQ(util::GetDXVersion(&packed, text, sizeof(text), true), S_OK);
  EXPECT_STREQ(text, "9.0");
  EXPECT_EQ(packed, 0x00090000u);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);  // same apartment
  CoUninitialize();
  CoUninitialize();
}

}  // namespace
}  // namespace kivo
