#include "core/wav.h"

#include "core/little_endian.h"

namespace kivo::probe {

namespace {

// Format chunk sizes: WAVEFORMATEX without cbSize, and WAVEFORMATEXTENSIBLE.
const uint32_t kPlainFormat = 16;
const uint32_t kExtensibleFormat = 40;
const uint16_t kExtensibleTag = 0xFFFE;
// What the RIFF size counts besides the data: "WAVE", the format chunk and
// the data chunk's header.
const uint32_t kLargestRiffOverhead = 4 + 8 + kExtensibleFormat + 8;
// The largest data chunk that keeps the RIFF size within 32 bits.
const uint64_t kMaxDataBytes = 0xFFFFFFFFull - kLargestRiffOverhead - 1;

void putTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

// The bytes that precede the sample data of a WAV file holding `dataBytes`
// bytes of samples (sizes are capped at what RIFF can hold).
std::vector<uint8_t> wavHeader(const WavFormat& format, uint32_t dataBytes) {
  const uint64_t data = dataBytes > kMaxDataBytes ? kMaxDataBytes : dataBytes;
  const uint64_t padded = data + (data & 1);
  const uint32_t formatBytes = format.extensible ? kExtensibleFormat : kPlainFormat;
  std::vector<uint8_t> out;
  out.reserve(20 + formatBytes + 8);
  putTag(out, "RIFF");
  put32(out, static_cast<uint32_t>(4 + 8 + formatBytes + 8 + padded));
  putTag(out, "WAVE");
  putTag(out, "fmt ");
  put32(out, formatBytes);
  put16(out, format.extensible ? kExtensibleTag : format.formatTag);
  put16(out, format.channels);
  put32(out, format.samplesPerSecond);
  // The byte rate follows from the other fields, whatever the source said.
  put32(out, format.samplesPerSecond * format.blockAlign);
  put16(out, format.blockAlign);
  put16(out, format.bitsPerSample);
  if (format.extensible) {
    put16(out, kExtensibleFormat - 18);  // cbSize: what follows WAVEFORMATEX
    put16(out, format.validBitsPerSample);
    put32(out, format.channelMask);
    // The sub-format KSDATAFORMAT_SUBTYPE_PCM or _IEEE_FLOAT: the format
    // tag in the GUID {XXXXXXXX-0000-0010-8000-00AA00389B71}.
    put32(out, format.formatTag);
    put16(out, 0x0000);
    put16(out, 0x0010);
    static const uint8_t kTail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    out.insert(out.end(), kTail, kTail + sizeof kTail);
  }
  putTag(out, "data");
  put32(out, static_cast<uint32_t>(data));
  return out;
}

}  // namespace

bool isWritableWavFormat(const WavFormat& format, std::string* error) {
  std::string problem;
  if (format.formatTag == 1) {
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16 && format.bitsPerSample != 24 &&
        format.bitsPerSample != 32) {
      problem = "PCM with " + std::to_string(format.bitsPerSample) + " bits per sample";
    }
  } else if (format.formatTag == 3) {
    if (format.bitsPerSample != 32 && format.bitsPerSample != 64) {
      problem = "IEEE float with " + std::to_string(format.bitsPerSample) + " bits per sample";
    }
  } else {
    problem = "format tag " + std::to_string(format.formatTag) + " (only PCM and IEEE float)";
  }
  if (problem.empty() && (format.channels < 1 || format.channels > 16)) {
    problem = std::to_string(format.channels) + " channels";
  }
  if (problem.empty() && format.samplesPerSecond == 0) problem = "a sample rate of 0";
  if (problem.empty() && format.blockAlign != format.channels * format.bitsPerSample / 8) {
    problem = "a block size of " + std::to_string(format.blockAlign) + " bytes for " +
              std::to_string(format.channels) + " channels of " +
              std::to_string(format.bitsPerSample) + " bits";
  }
  if (problem.empty() && format.extensible &&
      (format.validBitsPerSample < 1 || format.validBitsPerSample > format.bitsPerSample)) {
    problem = std::to_string(format.validBitsPerSample) + " valid bits in samples of " +
              std::to_string(format.bitsPerSample);
  }
  if (problem.empty()) return true;
  if (error) *error = "cannot write a WAV file for " + problem;
  return false;
}

bool WavWriter::open(const std::string& path, const WavFormat& format, std::string* error) {
  if (!isWritableWavFormat(format, error)) return false;
  format_ = format;
  dataBytes_ = 0;
  if (!file_.open(path, error)) return false;
  const std::vector<uint8_t> header = wavHeader(format_, 0);
  return file_.write(header.data(), header.size(), error);
}

bool WavWriter::append(const uint8_t* data, size_t size, std::string* error) {
  if (!file_.isOpen()) {
    if (error) *error = "the WAV file is not open";
    return false;
  }
  const uint64_t room = kMaxDataBytes - dataBytes_;
  const size_t take = size > room ? static_cast<size_t>(room) : size;
  if (!file_.write(data, take, error)) return false;
  dataBytes_ += take;
  return true;
}

bool WavWriter::finish(std::string* error) {
  if (!file_.isOpen()) return true;
  bool ok = true;
  if (dataBytes_ & 1) {
    const uint8_t pad = 0;
    ok = file_.write(&pad, 1, error);
  }
  const std::vector<uint8_t> header = wavHeader(format_, static_cast<uint32_t>(dataBytes_));
  ok = ok && file_.writeAt(0, header.data(), header.size(), error);
  return file_.close(ok ? error : nullptr) && ok;
}

}  // namespace kivo::probe
