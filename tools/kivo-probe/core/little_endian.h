#pragma once

// Fields appended to a file's bytes in little-endian order, as the headers of
// BMP and WAV files store them.

#include <cstdint>
#include <vector>

namespace kivo::probe {

inline void put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

}  // namespace kivo::probe
