#pragma once

// Where the integration tests find the media files that
// tests/media/make-media.sh writes (the CTest fixture "media").

#include <cstdlib>
#include <string>

namespace kivo::test {

// The Windows path of the media file `name`, or "" when KIVO_TEST_MEDIA is
// not set. A Unix folder becomes a path on Wine's Z: drive.
inline std::wstring mediaPath(const char* name) {
  const char* folder = std::getenv("KIVO_TEST_MEDIA");
  if (!folder || !*folder) return std::wstring();
  std::string path = std::string(folder) + "/" + name;
  if (path[0] == '/') path = "Z:" + path;
  std::wstring wide;
  for (char c : path) wide += static_cast<wchar_t>(c == '/' ? '\\' : static_cast<unsigned char>(c));
  return wide;
}

}  // namespace kivo::test
