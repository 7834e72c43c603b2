// The moving test picture. Every frame starts with its frame counter (four
// bytes, little-endian; in a JPEG frame inside a comment segment right after
// the start-of-image marker), followed by a pattern that moves with the
// counter and follows the device's settings.

#include "pattern.h"

#include <cstring>

#include "profiles.h"

namespace testcam {

namespace {

const BYTE kJpegFrame[] = {
#include "mjpeg_frame.inc"
};

struct Rgb {
  int r, g, b;
};

int clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

Rgb basePixel(int x, int y, int w, int h, uint32_t counter, int pattern) {
  static const Rgb bars[8] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                              {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {16, 16, 16}};
  Rgb c;
  switch (pattern) {
    case 1: {  // checkerboard moving diagonally
      const int shift = static_cast<int>(counter * 2);
      const bool on = (((x + shift) / 16) + ((y + shift) / 16)) & 1;
      c = on ? Rgb{220, 220, 40} : Rgb{40, 40, 200};
      break;
    }
    case 2: {  // ramps
      c = Rgb{static_cast<int>((x * 255 / w + counter * 3) & 255), y * 255 / h, 128};
      break;
    }
    case 3:  // no signal
      return Rgb{16, 16, 16};
    default: {  // colour bars scrolling to the left
      const int shift = static_cast<int>((counter * 4) % static_cast<uint32_t>(w));
      c = bars[((x + shift) % w) * 8 / w];
      break;
    }
  }
  // Darker towards the bottom, so that a vertical flip shows.
  const int factor = 256 - (y * 128 / h);
  return Rgb{c.r * factor >> 8, c.g * factor >> 8, c.b * factor >> 8};
}

// The picture as RGB, one row at a time, with the settings applied except
// brightness, which depends on the output format.
class Painter {
 public:
  Painter(int w, int h, const PictureSettings& s, uint32_t counter)
      : w_(w), h_(h), s_(s), counter_(counter) {}

  int width() const { return w_; }
  int height() const { return h_; }
  long brightness() const { return s_.brightness; }

  Rgb at(int x, int y) const {
    if (s_.black) return Rgb{0, 0, 0};
    const int sx = s_.flipHorizontal ? w_ - 1 - x : x;
    const int sy = s_.flipVertical ? h_ - 1 - y : y;
    Rgb c = basePixel(sx, sy, w_, h_, counter_, s_.pattern);
    if (s_.gray) {
      const int l = (c.r * 77 + c.g * 150 + c.b * 29) >> 8;
      c = Rgb{l, l, l};
    }
    return c;
  }

 private:
  int w_, h_;
  const PictureSettings& s_;
  uint32_t counter_;
};

BYTE luma(const Rgb& c, long brightness) {
  return static_cast<BYTE>(
      clamp255(((66 * c.r + 129 * c.g + 25 * c.b + 128) >> 8) + 16 + brightness));
}
BYTE chromaU(const Rgb& c) {
  return static_cast<BYTE>(clamp255(((-38 * c.r - 74 * c.g + 112 * c.b + 128) >> 8) + 128));
}
BYTE chromaV(const Rgb& c) {
  return static_cast<BYTE>(clamp255(((112 * c.r - 94 * c.g - 18 * c.b + 128) >> 8) + 128));
}

// The bytes of one frame of `type`: the JPEG's for MJPG, else the image size
// of its format block (every type streamed is one of the device's); 0 for
// a subtype the camera does not draw.
long frameSize(const AM_MEDIA_TYPE& type, const BITMAPINFOHEADER& bmi) {
  const GUID& subtype = type.subtype;
  if (subtype == MEDIASUBTYPE_MJPG) return static_cast<long>(sizeof(kJpegFrame) + 8);
  const bool drawn = subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32 ||
                     subtype == MEDIASUBTYPE_YUY2 || subtype == kSubtypeI420 ||
                     subtype == MEDIASUBTYPE_NV12;
  return drawn ? static_cast<long>(bmi.biSizeImage) : 0;
}

// Start of image, a comment segment carrying the counter, then the rest of
// a valid grey JPEG picture.
long drawJpeg(uint32_t counter, BYTE* buffer) {
  const BYTE header[] = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x06};
  std::memcpy(buffer, header, sizeof(header));
  std::memcpy(buffer + 6, &counter, 4);
  std::memcpy(buffer + 10, kJpegFrame + 2, sizeof(kJpegFrame) - 2);
  return static_cast<long>(10 + sizeof(kJpegFrame) - 2);
}

// RGB24 or RGB32 (`bytes` per pixel), rows padded to 4 bytes.
void drawRgb(const Painter& paint, int bytes, bool bottomUp, BYTE* buffer) {
  const int w = paint.width(), h = paint.height();
  const long bright = paint.brightness();
  const long stride = bytes == 3 ? ((w * 3 + 3) & ~3L) : w * 4L;
  for (int row = 0; row < h; ++row) {
    const int y = bottomUp ? h - 1 - row : row;
    BYTE* p = buffer + stride * row;
    for (int x = 0; x < w; ++x, p += bytes) {
      const Rgb c = paint.at(x, y);
      p[0] = static_cast<BYTE>(clamp255(c.b + bright));
      p[1] = static_cast<BYTE>(clamp255(c.g + bright));
      p[2] = static_cast<BYTE>(clamp255(c.r + bright));
      if (bytes == 4) p[3] = 0xFF;
    }
  }
}

void drawYuy2(const Painter& paint, BYTE* buffer) {
  const int w = paint.width(), h = paint.height();
  const long bright = paint.brightness();
  for (int y = 0; y < h; ++y) {
    BYTE* p = buffer + static_cast<long>(w) * 2 * y;
    for (int x = 0; x + 1 < w; x += 2, p += 4) {
      const Rgb a = paint.at(x, y);
      const Rgb b = paint.at(x + 1, y);
      p[0] = luma(a, bright);
      p[1] = chromaU(a);
      p[2] = luma(b, bright);
      p[3] = chromaV(a);
    }
  }
}

// I420 or NV12: a luma plane, then chroma at half resolution (two planes,
// or one of interleaved U and V).
void drawPlanar420(const Painter& paint, bool nv12, BYTE* buffer) {
  const int w = paint.width(), h = paint.height();
  BYTE* chroma = buffer + static_cast<long>(w) * h;
  const long chromaPlane = static_cast<long>(w / 2) * (h / 2);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const Rgb c = paint.at(x, y);
      buffer[static_cast<long>(y) * w + x] = luma(c, paint.brightness());
      if ((x & 1) != 0 || (y & 1) != 0) continue;
      const long cy = y / 2;
      const long cx = x / 2;
      if (nv12) {
        chroma[cy * w + cx * 2] = chromaU(c);
        chroma[cy * w + cx * 2 + 1] = chromaV(c);
      } else {
        chroma[cy * (w / 2) + cx] = chromaU(c);
        chroma[chromaPlane + cy * (w / 2) + cx] = chromaV(c);
      }
    }
  }
}

}  // namespace

long drawFrame(const AM_MEDIA_TYPE& type, const PictureSettings& settings, uint32_t counter,
               BYTE* buffer, long size) {
  const BITMAPINFOHEADER* bmi = bitmapHeader(type);
  const long needed = bmi ? frameSize(type, *bmi) : 0;
  if (needed < 12 || !buffer || size < needed) return 0;
  const GUID& subtype = type.subtype;
  if (subtype == MEDIASUBTYPE_MJPG) return drawJpeg(counter, buffer);
  const Painter paint(bmi->biWidth, bmi->biHeight < 0 ? -bmi->biHeight : bmi->biHeight, settings,
                      counter);
  if (subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32) {
    drawRgb(paint, subtype == MEDIASUBTYPE_RGB24 ? 3 : 4, bmi->biHeight > 0, buffer);
  } else if (subtype == MEDIASUBTYPE_YUY2) {
    drawYuy2(paint, buffer);
  } else {
    drawPlanar420(paint, subtype == MEDIASUBTYPE_NV12, buffer);
  }
  std::memcpy(buffer, &counter, 4);
  return needed;
}

}  // namespace testcam
