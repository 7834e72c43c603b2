#pragma once

// The moving test picture of the Test Camera's frames.

#include <kivo/platform.h>

#include <cstdint>

namespace testcam {

// What the picture looks like at one moment.
struct PictureSettings {
  long brightness = 0;  // added to every luma or RGB value
  bool flipHorizontal = false;
  bool flipVertical = false;
  bool gray = false;   // colour disabled
  bool black = false;  // decoder output disabled
  int pattern = 0;     // 0 bars, 1 checkerboard, 2 ramp, 3 no signal
};

// Draws frame `counter` in the format of `type` into `buffer`; returns the
// number of bytes of the frame (0 when the buffer is too small).
long drawFrame(const AM_MEDIA_TYPE& type, const PictureSettings& settings, uint32_t counter,
               BYTE* buffer, long size);

}  // namespace testcam
