#include "support/media.h"

#include <kivo/platform.h>

#include <algorithm>
#include <cstdlib>

namespace kivo::test {

std::wstring mediaPath(const std::string& name) {
  const char* folder = std::getenv("KIVO_TEST_MEDIA");
  // A Unix path of the build machine; Wine shows the root as drive Z:.
  std::string path = std::string(folder ? folder : "") + "/" + name;
  if (path[0] == '/') path = "Z:" + path;
  std::replace(path.begin(), path.end(), '/', '\\');
  std::wstring wide(path.size(), L'\0');  // UTF-16 needs no more units than UTF-8 bytes
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, path.data(),
                                                      static_cast<int>(path.size()), &wide[0],
                                                      static_cast<int>(wide.size()))));
  return wide;
}

bool mediaAvailable() {
  const DWORD attributes = GetFileAttributesW(mediaPath("").c_str());
  return std::getenv("KIVO_TEST_MEDIA") && attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

long testCameraCanUnload() {
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  const auto canUnload = reinterpret_cast<CanUnload>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kivo-testcam.dll"), "DllCanUnloadNow")));
  return canUnload ? canUnload() : E_UNEXPECTED;
}

}  // namespace kivo::test
