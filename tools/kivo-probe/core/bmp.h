#pragma once

#include "core/image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kivo::probe {

// The bytes of a 24-bit BMP file of `image`: a file header, a
// BITMAPINFOHEADER and the rows bottom-up, each padded to 4 bytes.
std::vector<uint8_t> encodeBmp(const RgbImage& image);

// Writes `bytes` to `path` (UTF-8), replacing the file. False and a reason
// in `error` when the file cannot be written.
bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

}  // namespace kivo::probe
