#pragma once

#include <kivo/platform.h>

#include <string>

namespace kivo {

// The compression code (biCompression) of the first video stream declared
// in an AVI file's header, read straight from the file; 0 when the file is
// not an AVI file or declares no video stream.
DWORD readAviVideoCompression(const std::wstring& fileName);

}  // namespace kivo
