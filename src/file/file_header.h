#pragma once

#include <kivo/platform.h>

#include <string>
#include <vector>

namespace kivo {

// The first bytes of a file (a bounded number: headers, not the media) and
// its whole size; empty when the file cannot be read.
struct FileHead {
  std::vector<BYTE> bytes;
  ULONGLONG size = 0;
};
FileHead readFileHead(const std::wstring& fileName);

// Little-endian 32-bit number at `at`, and whether the four characters at
// `at` are `code` (a RIFF chunk id or list type).
DWORD readDword(const BYTE* at);
bool isCode(const BYTE* at, const char* code);
// Whether the file is a RIFF file of that form ("AVI ", "WAVE").
bool isRiffForm(const FileHead& head, const char* form);

// What a media file's first bytes say it is.
enum class FileContainer {
  Unknown,
  Avi,    // "RIFF" .... "AVI "
  Mpeg2,  // an MPEG-2 program stream (pack header) or transport stream (188-byte packets)
};
FileContainer readFileContainer(const std::wstring& fileName);

}  // namespace kivo
