#pragma once

#include "core/files.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kivo::probe {

// The fields of a WAVEFORMATEX, or of a WAVEFORMATEXTENSIBLE, that a WAV
// file's format chunk carries.
struct WavFormat {
  uint16_t formatTag = 1;  // 1: PCM, 3: IEEE float
  uint16_t channels = 0;
  uint32_t samplesPerSecond = 0;
  uint32_t averageBytesPerSecond = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  // Written as WAVE_FORMAT_EXTENSIBLE with `formatTag` as its sub-format,
  // as readers expect of more than two channels or more than 16 bits.
  bool extensible = false;
  uint16_t validBitsPerSample = 0;
  uint32_t channelMask = 0;  // speaker positions; 0: none assigned
};

// Whether a WAV file can be written for this format: PCM (8, 16, 24 or 32
// bits) or IEEE float (32 or 64 bits), 1 to 16 channels, a non-zero rate, a
// block size that matches channels and bits, and for an extensible format
// 1 to that many valid bits. `error` says what is wrong.
bool isWritableWavFormat(const WavFormat& format, std::string* error);

// Writes a WAV file piece by piece: the header first (44 bytes, 68 for an
// extensible format), with sizes patched in when the file is finished.
// Sample data beyond 4 GB is dropped.
class WavWriter {
 public:
  bool open(const std::string& path, const WavFormat& format, std::string* error);
  bool append(const uint8_t* data, size_t size, std::string* error);
  // Patches the sizes, pads the data chunk to an even length and closes.
  bool finish(std::string* error);
  uint64_t dataBytes() const { return dataBytes_; }

 private:
  OutputFile file_;
  WavFormat format_;
  uint64_t dataBytes_ = 0;
};

}  // namespace kivo::probe
