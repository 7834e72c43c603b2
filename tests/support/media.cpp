#include "support/media.h"

#include <kivo/platform.h>

#include <cstdlib>
#include <vector>

namespace kivo::test {

namespace {

std::wstring fromUtf8(const std::string& text) {
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(needed));
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, buffer.data(), needed);
  return buffer.data();
}

std::string mediaFolder() {
  const char* folder = std::getenv("KIVO_TEST_MEDIA");
  return folder ? folder : "";
}

}  // namespace

std::wstring mediaPath(const std::string& name) {
  std::string folder = mediaFolder();
  // A Unix path of the build machine; Wine shows the root as drive Z:.
  std::string path = folder + "/" + name;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return fromUtf8(path);
}

bool mediaAvailable() {
  const std::wstring folder = mediaPath("");
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return !mediaFolder().empty() && attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace kivo::test
