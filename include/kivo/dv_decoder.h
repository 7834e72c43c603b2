#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/filter.h>
#include <kivo/platform.h>

namespace kivo {

// The platform's DV video decoder ("KIVO DV Decoder") with its
// decoder-control interface and a decoding resolution chosen by the host.
// kivo itself puts it in no graph; a host adds it where it needs one.
class KIVO_API DVDecoder : public Filter {
 public:
  // The platform's DV decoding resolutions.
  enum Resolution {
    RESOLUTION_FULL = DVRESOLUTION_FULL,        // 1000, the default
    RESOLUTION_HALF = DVRESOLUTION_HALF,        // 1001
    RESOLUTION_QUARTER = DVRESOLUTION_QUARTER,  // 1002
    RESOLUTION_DC = DVRESOLUTION_DC             // 1003
  };

  // Throws FilterCreationException when the decoder cannot be created or
  // does not offer its decoder-control interface.
  DVDecoder();
  virtual ~DVDecoder();

  // A new counted reference to the decoder-control interface.
  CComPtr<IIPDVDec> getDecoder();
  Resolution getResolution();
  // Stores the resolution; the decoder itself is not told.
  void setResolution(Resolution resolution);

 private:
  // A decoder is not copied by the host: a copy would share the decoder.
  DVDecoder(const DVDecoder& other);
  DVDecoder& operator=(const DVDecoder& other);
  void copy(const DVDecoder& other);
  void destroy();

  CComPtr<IIPDVDec> decoder;
  Resolution resolution;
};

}  // namespace kivo
