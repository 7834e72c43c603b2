// The version resource of every binary kivo builds, read back through the
// platform's version API as Explorer and installers read it.

#include <kivo/platform.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct VersionInfo {
  std::string fixedFileVersion;  // "major.minor.patch" from VS_FIXEDFILEINFO
  std::wstring productName;
};

// Reads `file` beside this program; false when it has no version resource.
bool readVersionInfo(const wchar_t* file, VersionInfo* info) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring path = std::filesystem::path(self).replace_filename(file).wstring();
  std::vector<char> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
  if (block.empty() ||
      !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
    return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  wchar_t* name = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      !VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductName",
                      reinterpret_cast<void**>(&name), &length))
    return false;
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS));
  info->fixedFileVersion = text;
  info->productName = name;
  return true;
}

TEST(VersionResource, EveryBinaryCarriesTheProjectVersionAndTheProductName) {
  for (const wchar_t* file : {L"kivo.dll", L"kivo-testcam.dll", L"kivo-probe.exe",
                              L"kivo-bench.exe", L"kivo-soak.exe", L"kivo-corpus.exe"}) {
    SCOPED_TRACE(std::filesystem::path(file).string());
    VersionInfo info;
    ASSERT_TRUE(readVersionInfo(file, &info));
    EXPECT_EQ(info.fixedFileVersion, KIVO_EXPECTED_VERSION);
    EXPECT_EQ(info.productName, L"kivo");
  }
}

}  // namespace
