#pragma once

namespace kivo {
namespace colorspace {

// The family a pixel layout belongs to. A category is the top byte of a
// colour-space type; the lower 24 bits are always 0.
enum category : unsigned int {
  CATEGORY_NONE = 0x00000000,            // compressed or unclassified
  CATEGORY_MONOCHROME = 0x01000000,      // one band (palettised 8-bit RGB among them)
  CATEGORY_RGB = 0x02000000,             // packed RGB and ARGB
  CATEGORY_YUV = 0x03000000,             // packed and planar YUV
  CATEGORY_YUV_SEMIPLANAR = 0x04000000,  // M420 and NV12
};

// A pixel layout packed into one 32-bit word: bits 24-31 the category,
// bits 16-23 the number of bands (0 for compressed formats), bits 0-15 the
// layout's index within its category.
enum type : unsigned int {
  TYPE_COMPRESSED = 0x00000000,
  TYPE_Y800 = 0x01010000,
  TYPE_RGB8 = 0x01010001,
  TYPE_H160 = 0x01010002,
  TYPE_H164 = 0x01010003,
  TYPE_RGB555 = 0x02030001,
  TYPE_RGB565 = 0x02030002,
  TYPE_RGB24 = 0x02030003,
  TYPE_RGB32 = 0x02030004,
  TYPE_ARGB1555 = 0x02040005,
  TYPE_ARGB32 = 0x02040006,
  TYPE_Y411 = 0x03030000,
  TYPE_Y444 = 0x03030001,
  TYPE_I420 = 0x03030002,
  TYPE_UYVY = 0x03030003,
  TYPE_Y41P = 0x03030004,
  TYPE_YVU9 = 0x03030005,
  TYPE_YV12 = 0x03030006,
  TYPE_YUY2 = 0x03030007,
  TYPE_YVYU = 0x03030008,
  TYPE_M420 = 0x04030001,
  TYPE_NV12 = 0x04030002,
};

}  // namespace colorspace
}  // namespace kivo
