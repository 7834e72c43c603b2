#include <kivo/mediatype.h>
#include <kivo/video_subtype.h>

#include "foundation/fourcc.h"

#include <cstring>
#include <iterator>

namespace kivo {

namespace {

struct SubtypeRow {
  GUID guid;
  const char* name;
  colorspace::type type;
};

// Subtypes kivo knows by name. Codecs are listed so that they get a familiar
// name; they are all compressed.
const SubtypeRow* subtypeTable(size_t* count) {
  using namespace colorspace;
  static const SubtypeRow rows[] = {
      {fourccSubtype("RGB2"), "RGB2", TYPE_Y800},
      {fourccSubtype("RGB3"), "RGB3", TYPE_Y800},
      {MEDIASUBTYPE_RGB8, "RGB8", TYPE_RGB8},
      {MEDIASUBTYPE_RGB555, "RGB555", TYPE_RGB555},
      {MEDIASUBTYPE_RGB565, "RGB565", TYPE_RGB565},
      {MEDIASUBTYPE_RGB24, "RGB24", TYPE_RGB24},
      {FOURCC_ZERO_SUBTYPE, "RGB24", TYPE_RGB24},
      {MEDIASUBTYPE_RGB32, "RGB32", TYPE_RGB32},
      {MEDIASUBTYPE_ARGB1555, "ARGB1555", TYPE_ARGB1555},
      {MEDIASUBTYPE_ARGB32, "ARGB32", TYPE_ARGB32},
      {fourccSubtype("Y800"), "Y800", TYPE_Y800},
      {fourccSubtype("Y422"), "Y422", TYPE_UYVY},
      {fourccSubtype("Y444"), "Y444", TYPE_Y444},
      {fourccSubtype("Y411"), "Y411", TYPE_Y411},
      {fourccSubtype("Y41P"), "Y41P", TYPE_Y41P},
      {fourccSubtype("YVU9"), "YVU9", TYPE_YVU9},
      {fourccSubtype("YV12"), "YV12", TYPE_YV12},
      {fourccSubtype("I420"), "I420", TYPE_I420},
      {fourccSubtype("M420"), "M420", TYPE_M420},
      {fourccSubtype("NV12"), "NV12", TYPE_NV12},
      {fourccSubtype("IYUV"), "IYUV", TYPE_I420},
      {fourccSubtype("YUY2"), "YUY2", TYPE_YUY2},
      {fourccSubtype("YVYU"), "YVYU", TYPE_YVYU},
      {fourccSubtype("UYVY"), "UYVY", TYPE_UYVY},
      {fourccSubtype("IYU1"), "IYU1", TYPE_Y411},
      {fourccSubtype("IYU2"), "IYU2", TYPE_Y444},
      // Some cameras label plain YUY2 frames H264; they are not compressed.
      {fourccSubtype("H264"), "H264", TYPE_YUY2},
      {fourccSubtype("H160"), "H160", TYPE_H160},
      {fourccSubtype("H161"), "H161", TYPE_H160},
      {fourccSubtype("H162"), "H162", TYPE_H160},
      {fourccSubtype("H163"), "H163", TYPE_H160},
      {fourccSubtype("H164"), "H164", TYPE_H164},
      {fourccSubtype("H165"), "H165", TYPE_H164},
      {fourccSubtype("H166"), "H166", TYPE_H164},
      {fourccSubtype("H167"), "H167", TYPE_H164},
      {fourccSubtype("H080"), "H080", TYPE_Y800},
      {fourccSubtype("H081"), "H081", TYPE_Y800},
      {fourccSubtype("H082"), "H082", TYPE_Y800},
      {fourccSubtype("H083"), "H083", TYPE_Y800},
      {fourccSubtype("DIVX"), "DivX", TYPE_COMPRESSED},
      {fourccSubtype("DX50"), "DivX", TYPE_COMPRESSED},
      {fourccSubtype("DIV3"), "DivX", TYPE_COMPRESSED},
      {fourccSubtype("DIV4"), "DivX", TYPE_COMPRESSED},
      {fourccSubtype("XVID"), "Xvid", TYPE_COMPRESSED},
      {fourccSubtype("HFYU"), "Huffyuv", TYPE_COMPRESSED},
      {fourccSubtype("CVID"), "Cinepak", TYPE_COMPRESSED},
      {fourccSubtype("IV30"), "Indeo3", TYPE_COMPRESSED},
      {fourccSubtype("IV32"), "Indeo3", TYPE_COMPRESSED},
      {fourccSubtype("IV50"), "Indeo5", TYPE_COMPRESSED},
  };
  *count = std::size(rows);
  return rows;
}

// The four bytes of a 32-bit code in memory order, lowest byte first. NUL
// bytes are kept, so the text always has four characters.
std::string codeCharacters(unsigned int code) {
  const char bytes[4] = {static_cast<char>(code & 0xFF), static_cast<char>((code >> 8) & 0xFF),
                         static_cast<char>((code >> 16) & 0xFF),
                         static_cast<char>((code >> 24) & 0xFF)};
  return std::string(bytes, 4);
}

}  // namespace

VideoSubtype::VideoSubtype(const VIDEOINFOHEADER* header, const GUID& subtype, int height)
    : compression(0),
      bitCount(0),
      subtypeGuid(subtype),
      colorspaceType(colorspace::TYPE_COMPRESSED),
      height(height) {
  if (header) {
    compression = header->bmiHeader.biCompression;
    bitCount = header->bmiHeader.biBitCount;
  }
  init();
}

VideoSubtype::VideoSubtype(const VideoSubtype& other) { copy(other); }

VideoSubtype::~VideoSubtype() = default;

VideoSubtype& VideoSubtype::operator=(const VideoSubtype& other) {
  if (this != &other) copy(other);
  return *this;
}

void VideoSubtype::copy(const VideoSubtype& other) {
  compression = other.compression;
  bitCount = other.bitCount;
  subtypeGuid = other.subtypeGuid;
  colorspaceType = other.colorspaceType;
  height = other.height;
  name = other.name;
}

void VideoSubtype::update(const VIDEOINFOHEADER* header, const GUID& subtype, int newHeight) {
  if (header) {
    compression = header->bmiHeader.biCompression;
    bitCount = header->bmiHeader.biBitCount;
  }
  subtypeGuid = subtype;
  height = newHeight;
  init();
}

void VideoSubtype::init() {
  size_t count = 0;
  const SubtypeRow* rows = subtypeTable(&count);
  for (size_t i = 0; i < count; ++i) {
    if (IsEqualGUID(rows[i].guid, subtypeGuid)) {
      name = rows[i].name;
      colorspaceType = rows[i].type;
      return;
    }
  }

  // Not a subtype kivo knows: compressed, named as well as can be.
  colorspaceType = colorspace::TYPE_COMPRESSED;
  name = GetSubtypeNameA(&subtypeGuid);
  if (name != "UNKNOWN") return;
  if (isFourccSubtype(subtypeGuid)) {
    name = codeCharacters(subtypeGuid.Data1);
    return;
  }
  switch (compression) {
    case BI_RGB:
    case BI_BITFIELDS:
      name = "RGB" + std::to_string(bitCount);
      break;
    case BI_RLE8:
      name = "RLE8";
      break;
    case BI_RLE4:
      name = "RLE4";
      break;
    case BI_JPEG:
      name = "JPEG";
      break;
    case BI_PNG:
      name = "PNG";
      break;
    default:
      name = codeCharacters(compression) + std::to_string(bitCount);
      break;
  }
}

colorspace::type VideoSubtype::getColorspaceType() const { return colorspaceType; }

GUID VideoSubtype::getGUID() const { return subtypeGuid; }

const char* VideoSubtype::getName() const { return name.c_str(); }

int VideoSubtype::getNumberOfBands() const {
  return static_cast<int>((static_cast<unsigned int>(colorspaceType) >> 16) & 0xFF);
}

colorspace::category VideoSubtype::identifyColorspaceCategory(colorspace::type type) {
  return static_cast<colorspace::category>(static_cast<unsigned int>(type) & 0xFF000000u);
}

bool VideoSubtype::isMonochrome() const {
  return identifyColorspaceCategory(colorspaceType) == colorspace::CATEGORY_MONOCHROME;
}

bool VideoSubtype::isRGB() const {
  return identifyColorspaceCategory(colorspaceType) == colorspace::CATEGORY_RGB;
}

bool VideoSubtype::isYUV() const {
  return identifyColorspaceCategory(colorspaceType) == colorspace::CATEGORY_YUV;
}

bool VideoSubtype::isCompressed() const { return getNumberOfBands() == 0; }

bool VideoSubtype::isBottomUp() const { return isRGB() && height > 0; }

}  // namespace kivo
