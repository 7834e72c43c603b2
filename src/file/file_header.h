#pragma once

#include <kivo/platform.h>

#include <string>

namespace kivo {

// What a media file's first bytes say it is.
enum class FileContainer {
  Unknown,
  Avi,    // "RIFF" .... "AVI "
  Mpeg2,  // an MPEG-2 program stream (pack header) or transport stream (188-byte packets)
};
FileContainer readFileContainer(const std::wstring& fileName);

// The compression code (biCompression) of the first video stream declared
// in an AVI file's header, read straight from the file; 0 when the file is
// not an AVI file or declares no video stream.
DWORD readAviVideoCompression(const std::wstring& fileName);

// True for an AVI file that ends before the start of its data: a header
// chunk runs past the end of the file or the data list never begins. No
// splitter can read such a file, and some parsers wait for the missing
// bytes for ever instead of failing, so it is refused before any parser
// sees it. False for every other file, readable or not.
bool isAviCutBeforeItsData(const std::wstring& fileName);

}  // namespace kivo
