#include "core/bmp.h"

#include "core/files.h"
#include "core/little_endian.h"

namespace kivo::probe {

std::vector<uint8_t> encodeBmp(const RgbImage& image) {
  const uint32_t fileHeaderSize = 14, infoHeaderSize = 40;
  const uint32_t rowBytes = (static_cast<uint32_t>(image.width) * 3 + 3) / 4 * 4;
  const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(image.height);
  std::vector<uint8_t> out;
  out.reserve(fileHeaderSize + infoHeaderSize + imageBytes);
  // BITMAPFILEHEADER
  out.push_back('B');
  out.push_back('M');
  put32(out, fileHeaderSize + infoHeaderSize + imageBytes);
  put32(out, 0);
  put32(out, fileHeaderSize + infoHeaderSize);
  // BITMAPINFOHEADER: a positive height stores the rows bottom-up.
  put32(out, infoHeaderSize);
  put32(out, static_cast<uint32_t>(image.width));
  put32(out, static_cast<uint32_t>(image.height));
  put16(out, 1);   // planes
  put16(out, 24);  // bits per pixel
  put32(out, 0);   // BI_RGB
  put32(out, imageBytes);
  put32(out, 2835);  // 72 dpi
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  const size_t packedRow = static_cast<size_t>(image.width) * 3;
  for (int y = image.height - 1; y >= 0; --y) {
    const uint8_t* row = image.bgr.data() + static_cast<size_t>(y) * packedRow;
    out.insert(out.end(), row, row + packedRow);
    out.insert(out.end(), rowBytes - packedRow, 0);
  }
  return out;
}

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* error) {
  OutputFile file;
  if (!file.open(path, error)) return false;
  if (!file.write(bytes.data(), bytes.size(), error)) return false;
  return file.close(error);
}

}  // namespace kivo::probe
