#pragma once

#include <kivo/platform.h>

#include <cstdint>
#include <cstring>

namespace kivo {

// The media subtype of a FOURCC code: {XXXXXXXX-0000-0010-8000-00AA00389B71},
// the code as the little-endian number a bitmap header's biCompression holds.
constexpr GUID fourccSubtype(std::uint32_t code) {
  return GUID{static_cast<unsigned long>(code),
              0x0000,
              0x0010,
              {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

// The same from the code's four characters (first character in the lowest
// byte). Usable in constant tables.
constexpr GUID fourccSubtype(const char (&code)[5]) {
  return fourccSubtype(static_cast<std::uint8_t>(code[0]) |
                       static_cast<std::uint8_t>(code[1]) << 8 |
                       static_cast<std::uint8_t>(code[2]) << 16 |
                       static_cast<std::uint32_t>(static_cast<std::uint8_t>(code[3])) << 24);
}

// The FOURCC subtype whose code is zero; devices report it for plain RGB.
constexpr GUID FOURCC_ZERO_SUBTYPE = fourccSubtype("\0\0\0\0");

// Whether a subtype has the FOURCC form: everything but the code equals the
// FOURCC base GUID.
inline bool isFourccSubtype(const GUID& subtype) {
  return subtype.Data2 == FOURCC_ZERO_SUBTYPE.Data2 && subtype.Data3 == FOURCC_ZERO_SUBTYPE.Data3 &&
         std::memcmp(subtype.Data4, FOURCC_ZERO_SUBTYPE.Data4, sizeof(subtype.Data4)) == 0;
}

}  // namespace kivo
