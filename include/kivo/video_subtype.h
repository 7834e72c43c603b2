#pragma once

#include <kivo/colorspace.h>
#include <kivo/export.h>
#include <kivo/platform.h>

#include <string>

namespace kivo {

class VideoCapability;

// Names and classifies one DirectShow video subtype: a short display name
// ("YUY2", "RGB24", "DivX") and its colour space (category, number of bands,
// compressed or not, row order).
class KIVO_API VideoSubtype {
 public:
  // The bitmap header (when given) supplies the compression code and bit
  // count used to name subtypes the table does not know; the height's sign
  // gives the row order (positive: bottom-up, as in a DIB).
  VideoSubtype(const VIDEOINFOHEADER* header = nullptr, const GUID& subtype = MEDIASUBTYPE_RGB24,
               int height = 480);
  VideoSubtype(const VideoSubtype& other);
  virtual ~VideoSubtype();

  colorspace::type getColorspaceType() const;
  GUID getGUID() const;
  // Valid while the object lives and is not changed.
  const char* getName() const;
  int getNumberOfBands() const;

  static colorspace::category identifyColorspaceCategory(colorspace::type type);

  bool isMonochrome() const;
  bool isRGB() const;
  // Packed and planar YUV only; the semi-planar layouts are not.
  bool isYUV() const;
  bool isCompressed() const;
  // RGB rows stored bottom-up: an RGB category and a positive height.
  bool isBottomUp() const;

 private:
  friend class VideoCapability;
  KIVO_TEST_ACCESS;

  VideoSubtype& operator=(const VideoSubtype& other);
  void copy(const VideoSubtype& other);
  // Reclassifies with a new subtype and height; a null header keeps the
  // compression code and bit count of the last header given.
  void update(const VIDEOINFOHEADER* header, const GUID& subtype, int height);
  void init();

  unsigned int compression;
  unsigned int bitCount;
  GUID subtypeGuid;
  colorspace::type colorspaceType;
  int height;
  std::string name;
};

}  // namespace kivo
