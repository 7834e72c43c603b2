#include "core/image.h"

#include <cstdlib>

namespace kivo::probe {

namespace {

// Frames larger than this are refused rather than allocated.
const uint64_t kMaxFrameBytes = uint64_t(1) << 31;

uint8_t clamp8(int value) {
  return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

int bytesPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::RGB24:
      return 3;
    case PixelFormat::RGB32:
      return 4;
    case PixelFormat::YUY2:
    case PixelFormat::UYVY:
      return 2;
    default:
      return 1;
  }
}

bool isPlanar420(PixelFormat format) {
  return format == PixelFormat::I420 || format == PixelFormat::YV12 || format == PixelFormat::NV12;
}

// The plane geometry of a layout, in 64-bit arithmetic so that no product
// can wrap.
struct Geometry {
  uint64_t width = 0;
  uint64_t rows = 0;
  uint64_t stride = 0;        // first plane
  uint64_t chromaRows = 0;    // 4:2:0 formats
  uint64_t chromaStride = 0;  // per chroma plane (NV12: the one UV plane)
  uint64_t total = 0;
};

bool computeGeometry(const FrameLayout& layout, Geometry* g) {
  if (layout.width <= 0 || layout.height == 0 || layout.stride < 0) return false;
  g->width = static_cast<uint64_t>(layout.width);
  g->rows = static_cast<uint64_t>(std::llabs(static_cast<long long>(layout.height)));
  uint64_t minimumStride;
  switch (layout.format) {
    case PixelFormat::RGB24:
    case PixelFormat::RGB32:
      minimumStride = g->width * bytesPerPixel(layout.format);
      g->stride = layout.stride ? layout.stride : (minimumStride + 3) / 4 * 4;
      break;
    case PixelFormat::YUY2:
    case PixelFormat::UYVY:
      minimumStride = (g->width + 1) / 2 * 4;
      g->stride = layout.stride ? layout.stride : minimumStride;
      break;
    default:
      minimumStride = g->width;
      g->stride = layout.stride ? layout.stride : minimumStride;
      break;
  }
  if (g->stride < minimumStride) return false;
  g->total = g->stride * g->rows;
  if (isPlanar420(layout.format)) {
    g->chromaRows = (g->rows + 1) / 2;
    const uint64_t chromaWidth = (g->width + 1) / 2;
    if (layout.format == PixelFormat::NV12) {
      // Interleaved U and V: a default stride holds whole pairs.
      g->chromaStride = layout.stride ? g->stride : chromaWidth * 2;
      if (g->chromaStride < chromaWidth * 2) return false;
      g->total += g->chromaStride * g->chromaRows;
    } else {
      g->chromaStride = (g->stride + 1) / 2;
      if (g->chromaStride < chromaWidth) return false;
      g->total += 2 * g->chromaStride * g->chromaRows;
    }
  }
  return g->total <= kMaxFrameBytes;
}

void put(RgbImage* image, uint64_t x, uint64_t y, uint32_t rgb) {
  uint8_t* p = &image->bgr[(y * image->width + x) * 3];
  p[0] = static_cast<uint8_t>(rgb);
  p[1] = static_cast<uint8_t>(rgb >> 8);
  p[2] = static_cast<uint8_t>(rgb >> 16);
}

// Each format under every name kivo writes for it; its own name first.
const struct {
  const char* name;
  PixelFormat format;
} kPixelFormatNames[] = {
    {"YUY2", PixelFormat::YUY2},   {"YUYV", PixelFormat::YUY2},    {"UYVY", PixelFormat::UYVY},
    {"Y422", PixelFormat::UYVY},   {"I420", PixelFormat::I420},    {"IYUV", PixelFormat::I420},
    {"YV12", PixelFormat::YV12},   {"NV12", PixelFormat::NV12},    {"RGB24", PixelFormat::RGB24},
    {"RGB32", PixelFormat::RGB32}, {"ARGB32", PixelFormat::RGB32},
};

}  // namespace

bool pixelFormatFromName(const std::string& name, PixelFormat* format) {
  for (const auto& entry : kPixelFormatNames) {
    if (name == entry.name) {
      if (format) *format = entry.format;
      return true;
    }
  }
  return false;
}

const char* pixelFormatName(PixelFormat format) {
  for (const auto& entry : kPixelFormatNames) {
    if (entry.format == format) return entry.name;
  }
  return "?";
}

uint32_t RgbImage::rgbAt(int x, int y) const {
  const uint8_t* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
  return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

uint32_t yuvToRgb(int y, int u, int v) {
  const int c = 298 * (y - 16) + 128;
  const int d = u - 128;
  const int e = v - 128;
  const uint8_t r = clamp8((c + 409 * e) >> 8);
  const uint8_t g = clamp8((c - 100 * d - 208 * e) >> 8);
  const uint8_t b = clamp8((c + 516 * d) >> 8);
  return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

bool convertFrame(const FrameLayout& layout, const uint8_t* data, size_t size, RgbImage* image,
                  std::string* error) {
  Geometry g;
  if (!computeGeometry(layout, &g)) {
    if (error) {
      *error = "impossible frame layout " + std::to_string(layout.width) + "x" +
               std::to_string(layout.height) + " (stride " + std::to_string(layout.stride) +
               ") for " + pixelFormatName(layout.format);
    }
    return false;
  }
  if (!data || size < g.total) {
    if (error) {
      *error = std::string("buffer of ") + std::to_string(data ? size : 0) +
               " bytes is shorter than the " + std::to_string(g.total) + " bytes a " +
               std::to_string(layout.width) + "x" + std::to_string(g.rows) + " " +
               pixelFormatName(layout.format) + " frame needs";
    }
    return false;
  }
  image->width = layout.width;
  image->height = static_cast<int>(g.rows);
  image->bgr.assign(static_cast<size_t>(g.width * g.rows * 3), 0);

  switch (layout.format) {
    case PixelFormat::RGB24:
    case PixelFormat::RGB32: {
      const int bpp = bytesPerPixel(layout.format);
      const bool bottomUp = layout.height > 0;
      for (uint64_t y = 0; y < g.rows; ++y) {
        const uint64_t sourceRow = bottomUp ? g.rows - 1 - y : y;
        const uint8_t* row = data + sourceRow * g.stride;
        uint8_t* out = &image->bgr[y * g.width * 3];
        for (uint64_t x = 0; x < g.width; ++x) {
          out[x * 3 + 0] = row[x * bpp + 0];
          out[x * 3 + 1] = row[x * bpp + 1];
          out[x * 3 + 2] = row[x * bpp + 2];
        }
      }
      break;
    }
    case PixelFormat::YUY2:
    case PixelFormat::UYVY: {
      // YUY2: Y0 U Y1 V; UYVY: U Y0 V Y1.
      const bool yuy2 = layout.format == PixelFormat::YUY2;
      const int y0 = yuy2 ? 0 : 1, y1 = yuy2 ? 2 : 3, u = yuy2 ? 1 : 0, v = yuy2 ? 3 : 2;
      for (uint64_t y = 0; y < g.rows; ++y) {
        const uint8_t* row = data + y * g.stride;
        for (uint64_t x = 0; x < g.width; ++x) {
          const uint8_t* pair = row + (x / 2) * 4;
          put(image, x, y, yuvToRgb(pair[(x & 1) ? y1 : y0], pair[u], pair[v]));
        }
      }
      break;
    }
    case PixelFormat::I420:
    case PixelFormat::YV12:
    case PixelFormat::NV12: {
      const uint8_t* luma = data;
      const uint8_t* chroma = data + g.stride * g.rows;
      const uint8_t* secondChroma = chroma + g.chromaStride * g.chromaRows;
      // I420 stores U then V; YV12 stores V then U.
      const uint8_t* uPlane = layout.format == PixelFormat::YV12 ? secondChroma : chroma;
      const uint8_t* vPlane = layout.format == PixelFormat::YV12 ? chroma : secondChroma;
      for (uint64_t y = 0; y < g.rows; ++y) {
        const uint8_t* lumaRow = luma + y * g.stride;
        const uint64_t chromaOffset = (y / 2) * g.chromaStride;
        for (uint64_t x = 0; x < g.width; ++x) {
          int uValue, vValue;
          if (layout.format == PixelFormat::NV12) {
            const uint8_t* uv = chroma + chromaOffset + (x / 2) * 2;
            uValue = uv[0];
            vValue = uv[1];
          } else {
            uValue = uPlane[chromaOffset + x / 2];
            vValue = vPlane[chromaOffset + x / 2];
          }
          put(image, x, y, yuvToRgb(lumaRow[x], uValue, vValue));
        }
      }
      break;
    }
  }
  return true;
}

}  // namespace kivo::probe
