#include "file/file_header.h"

#include <cstring>
#include <vector>

namespace kivo {

namespace {

// The header list of an AVI file comes first and is small; a bound keeps a
// corrupt size field from making us read a whole file.
const DWORD kMaxHeaderBytes = 1 << 20;

// A stream's format sits three lists deep (hdrl, strl); a file nesting
// lists deeper than this is not a header to read, and the bound keeps a
// crafted file from exhausting the stack.
const int kMaxListDepth = 8;

// Walks the chunks in [begin, end): stream headers ("strh") tell the stream
// type, and the format chunk ("strf") that follows a video stream header
// holds its BITMAPINFOHEADER.
DWORD findVideoCompression(const BYTE* begin, const BYTE* end, int depth) {
  bool videoStream = false;
  const BYTE* at = begin;
  while (end - at >= 8) {
    const DWORD size = readDword(at + 4);
    const BYTE* body = at + 8;
    if (size > static_cast<DWORD>(end - body)) break;
    if (isCode(at, "LIST") && size >= 4) {
      if (depth >= kMaxListDepth) break;
      const DWORD found = findVideoCompression(body + 4, body + size, depth + 1);
      if (found) return found;
    } else if (isCode(at, "strh") && size >= 4) {
      videoStream = isCode(body, "vids");
    } else if (isCode(at, "strf") && videoStream && size >= sizeof(BITMAPINFOHEADER)) {
      BITMAPINFOHEADER header;
      std::memcpy(&header, body, sizeof(header));
      return header.biCompression;
    }
    // Chunks are padded to an even size; the pad of the last one may be
    // missing.
    if ((size & 1) && size == static_cast<DWORD>(end - body)) break;
    at = body + size + (size & 1);
  }
  return 0;
}

}  // namespace

DWORD readDword(const BYTE* at) {
  DWORD value;
  std::memcpy(&value, at, sizeof(value));
  return value;
}

bool isCode(const BYTE* at, const char* code) { return std::memcmp(at, code, 4) == 0; }

FileHead readFileHead(const std::wstring& fileName) {
  FileHead head;
  HANDLE file = CreateFileW(fileName.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return head;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size)) {
    head.size = static_cast<ULONGLONG>(size.QuadPart);
    head.bytes.resize(kMaxHeaderBytes);
    DWORD read = 0;
    if (!ReadFile(file, head.bytes.data(), kMaxHeaderBytes, &read, nullptr)) read = 0;
    head.bytes.resize(read);
  }
  CloseHandle(file);
  return head;
}

namespace {

bool isAviHead(const FileHead& head) {
  return head.bytes.size() >= 12 && isCode(head.bytes.data(), "RIFF") &&
         isCode(head.bytes.data() + 8, "AVI ");
}

// An MPEG-2 pack header: start code 00 00 01 BA, then the '01' bits that
// tell it from an MPEG-1 pack ('0010').
bool isMpeg2ProgramHead(const FileHead& head) {
  const std::vector<BYTE>& b = head.bytes;
  return b.size() >= 5 && b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0xBA &&
         (b[4] & 0xC0) == 0x40;
}

// Transport packets are 188 bytes, each opening with the sync byte 0x47;
// three in a row rule out a chance match.
bool isMpeg2TransportHead(const FileHead& head) {
  const size_t kPacket = 188;
  if (head.bytes.size() < 2 * kPacket + 1) return false;
  for (size_t at = 0; at <= 2 * kPacket; at += kPacket)
    if (head.bytes[at] != 0x47) return false;
  return true;
}

}  // namespace

FileContainer readFileContainer(const std::wstring& fileName) {
  const FileHead head = readFileHead(fileName);
  if (isAviHead(head)) return FileContainer::Avi;
  if (isMpeg2ProgramHead(head) || isMpeg2TransportHead(head)) return FileContainer::Mpeg2;
  return FileContainer::Unknown;
}

DWORD readAviVideoCompression(const std::wstring& fileName) {
  const FileHead head = readFileHead(fileName);
  if (!isAviHead(head)) return 0;
  return findVideoCompression(head.bytes.data() + 12, head.bytes.data() + head.bytes.size(), 0);
}

}  // namespace kivo
