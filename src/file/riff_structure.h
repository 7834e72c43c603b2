#pragma once

#include "file/file_header.h"

#include <string>

namespace kivo {

// Whether an AVI or WAV file's own structure rules out reading it: the file
// ends inside its header, a header size carries past 4 GiB, the AVI header
// list lacks its main header or any whole stream (a header and the format
// its type needs), an AVI has no data, MJPG video's first frame is no JPEG
// picture, or a WAV's format is missing or describes no sound. Some platform
// parsers wait for ever on such files instead of failing, so they are
// refused before any parser sees them. What parsers still read is not
// refused: a file cut inside its data, a list whose size runs past its
// parent (what lies beyond is lost), a damaged stream beside a whole one.
// Only headers are read, and nothing beyond the bytes read is judged; a
// file that is not RIFF AVI or WAV is never broken here.
bool hasBrokenRiffStructure(const FileHead& head);
bool hasBrokenRiffStructure(const std::wstring& fileName);

// The compression code (biCompression) of the first whole video stream an
// AVI file's header declares, read straight from the file; 0 when the file
// is not an AVI file or declares no such stream.
DWORD readAviVideoCompression(const std::wstring& fileName);

}  // namespace kivo
