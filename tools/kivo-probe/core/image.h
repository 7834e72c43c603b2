#pragma once

// Conversion of one uncompressed video frame, as DirectShow delivers it, to
// a 24-bit picture that can be written as a BMP file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivo::probe {

enum class PixelFormat { YUY2, UYVY, I420, YV12, NV12, RGB24, RGB32 };

// The pixel format for a subtype name as kivo writes it ("YUY2", "RGB24",
// "I420"...); aliases of the same layout (IYUV, Y422, ARGB32) are accepted.
// False for anything that cannot be converted.
bool pixelFormatFromName(const std::string& name, PixelFormat* format);
const char* pixelFormatName(PixelFormat format);

// How a frame lies in its buffer.
//  - width: pixels per row.
//  - height: rows; its sign matters for RGB only: positive means the rows
//    are stored bottom-up (a DIB), negative top-down. YUV frames are always
//    stored top-down.
//  - stride: bytes per row of the first plane; 0 means the usual layout:
//    RGB rows padded to 4 bytes, packed YUV rows of ceil(width / 2) pixel
//    pairs, planar luma rows of `width` bytes.
// Chroma of the 4:2:0 formats covers ceil(width / 2) by ceil(height / 2)
// samples; the planar chroma stride is ceil(stride / 2); NV12's is the
// stride when one is given, else 2 * ceil(width / 2).
struct FrameLayout {
  PixelFormat format = PixelFormat::RGB24;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// A 24-bit picture: rows top-down, 3 bytes per pixel in the order blue,
// green, red, rows packed without padding.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgr;

  // The pixel at (x, y), y counted from the top, as 0xRRGGBB.
  uint32_t rgbAt(int x, int y) const;
};

// Converts one frame. YUV is read as BT.601 with limited range (Y 16-235,
// U and V 16-240). Returns false and says why in `error` for an impossible
// layout or a buffer shorter than the layout needs; nothing past `size`
// bytes of `data` is ever read.
bool convertFrame(const FrameLayout& layout, const uint8_t* data, size_t size, RgbImage* image,
                  std::string* error);

// BT.601 limited-range YUV to RGB for one pixel, as 0xRRGGBB.
uint32_t yuvToRgb(int y, int u, int v);

}  // namespace kivo::probe
