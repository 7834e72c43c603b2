#include "file/file_header.h"

#include <cstring>
#include <vector>

namespace kivo {

namespace {

// The headers of a media file come first and are small; a bound keeps a
// corrupt size field from making us read a whole file.
const DWORD kMaxHeaderBytes = 1 << 20;

}  // namespace

DWORD readDword(const BYTE* at) {
  DWORD value;
  std::memcpy(&value, at, sizeof(value));
  return value;
}

bool isCode(const BYTE* at, const char* code) { return std::memcmp(at, code, 4) == 0; }

bool isRiffForm(const FileHead& head, const char* form) {
  return head.bytes.size() >= 12 && isCode(head.bytes.data(), "RIFF") &&
         isCode(head.bytes.data() + 8, form);
}

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
  if (isRiffForm(head, "AVI ")) return FileContainer::Avi;
  if (isMpeg2ProgramHead(head) || isMpeg2TransportHead(head)) return FileContainer::Mpeg2;
  return FileContainer::Unknown;
}

}  // namespace kivo
