#pragma once

#include <string>

namespace kivo::test {

// The Windows path (Z: drive under Wine) of a media file that the test
// fixture made with ffmpeg; `name` is UTF-8.
std::wstring mediaPath(const std::string& name);

// Whether the fixture's media folder exists.
bool mediaAvailable();

// DllCanUnloadNow of the loaded Test Camera: S_OK once no object of it is alive.
long testCameraCanUnload();

}  // namespace kivo::test
