#pragma once

#include "file/file_header.h"

#include <string>

namespace kivo {

// Whether an AVI or WAV file's own structure rules out reading it: a header
// chunk or list that runs out of its list or of the file, a header list
// missing or too small for what it must hold, a stream header without the
// format its type needs, an AVI that ends before its data, or MJPG video
// whose first frame is no JPEG picture. Some platform parsers wait for ever
// on such files instead of failing, so they are refused before any parser
// sees them. Only headers are read; a file cut short inside its data is
// not broken (parsers read what is there), nor is any file that is not RIFF
// AVI or WAV, and nothing beyond the bytes read is judged.
bool hasBrokenRiffStructure(const FileHead& head);
bool hasBrokenRiffStructure(const std::wstring& fileName);

}  // namespace kivo
