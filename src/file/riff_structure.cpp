#include "file/riff_structure.h"

#include <algorithm>
#include <cstring>

namespace kivo {

namespace {

const ULONGLONG kRiffHeaderSize = 12;  // "RIFF", the size, the form type
const ULONGLONG kChunkHeaderSize = 8;  // the id and the size
const DWORD kMainHeaderSize = 56;      // MainAVIHeader
// AVISTREAMHEADER up to its frame rectangle, which old writers leave out.
const DWORD kStreamHeaderSize = 48;
const DWORD kWaveFormatSize = sizeof(WAVEFORMAT);  // what every audio format starts with

// One chunk: its id and where its body lies, as offsets into the file.
struct Chunk {
  const BYTE* id = nullptr;
  ULONGLONG body = 0;
  ULONGLONG size = 0;
};

// The chunks of one list (or of the file) in order, between two file
// offsets, as far as the bytes read reach.
class ChunkWalk {
 public:
  ChunkWalk(const FileHead& head, ULONGLONG begin, ULONGLONG end)
      : head_(head), at_(begin), end_(end) {}

  bool next(Chunk& chunk) {
    if (at_ + kChunkHeaderSize > end_ || at_ + kChunkHeaderSize > head_.bytes.size()) return false;
    chunk.id = &head_.bytes[at_];
    chunk.body = at_ + kChunkHeaderSize;
    chunk.size = readDword(chunk.id + 4);
    at_ = chunk.body + chunk.size + (chunk.size & 1);  // bodies are padded to an even size
    return true;
  }
  // Whether the walk stopped at the end of its range rather than at the end
  // of the bytes read.
  bool reachedEnd() const { return at_ + kChunkHeaderSize > end_; }
  bool fits(const Chunk& chunk) const { return chunk.body + chunk.size <= end_; }
  // The chunk's first `count` bytes, or null when they were not read.
  const BYTE* bytes(const Chunk& chunk, ULONGLONG count) const {
    return chunk.body + count <= head_.bytes.size() ? &head_.bytes[chunk.body] : nullptr;
  }
  // A list of that type; its type is read even when the list's size is too
  // small to hold it (parsers go by the type).
  bool isList(const Chunk& chunk, const char* type) const {
    const BYTE* listType = bytes(chunk, 4);
    return isCode(chunk.id, "LIST") && listType && isCode(listType, type);
  }
  // The chunks of a list, as far as they lie inside this walk's range: a
  // list whose size runs past its parent loses what lies beyond.
  ChunkWalk inside(const Chunk& list) const {
    return ChunkWalk(head_, list.body + 4, std::min(list.body + list.size, end_));
  }

 private:
  const FileHead& head_;
  ULONGLONG at_;
  ULONGLONG end_;
};

// A size that carries a chunk's end past 4 GiB: parsers that add it to an
// offset in 32 bits wrap around and may read the same header for ever.
bool wrapsAround(const Chunk& chunk) { return chunk.body + chunk.size > 0xFFFFFFFFull; }

// The first video stream of an AVI file, as its header declares it.
struct VideoStream {
  int index = -1;
  DWORD compression = 0;
  bool mjpg = false;
};

bool isMjpgCode(DWORD code) {
  return code == MAKEFOURCC('M', 'J', 'P', 'G') || code == MAKEFOURCC('m', 'j', 'p', 'g');
}

// A format with no channel, no sample rate or no block size describes no sound.
bool isBrokenWaveFormat(const BYTE* format) {
  WAVEFORMAT fields;
  std::memcpy(&fields, format, sizeof(fields));
  return fields.nChannels == 0 || fields.nSamplesPerSec == 0 || fields.nBlockAlign == 0;
}

// A stream list whose header and the format its type needs are whole.
bool isWholeStreamList(ChunkWalk walk, int index, VideoStream& video) {
  Chunk header, format;
  const BYTE* fields = nullptr;
  if (!walk.next(header) || !isCode(header.id, "strh") || header.size < kStreamHeaderSize ||
      !walk.fits(header) || !(fields = walk.bytes(header, kStreamHeaderSize)))
    return false;
  const bool videoType = isCode(fields, "vids"), audioType = isCode(fields, "auds");
  if (!videoType && !audioType) return true;
  if (!walk.next(format) || !isCode(format.id, "strf") || !walk.fits(format)) return false;
  const BYTE* body = walk.bytes(format, videoType ? sizeof(BITMAPINFOHEADER) : kWaveFormatSize);
  if (!body) return false;
  if (audioType) return !isBrokenWaveFormat(body);
  if (video.index < 0) {
    BITMAPINFOHEADER bitmap;
    std::memcpy(&bitmap, body, sizeof(bitmap));
    const DWORD compression = bitmap.biCompression;
    video = {index, compression, isMjpgCode(compression) || isMjpgCode(readDword(fields + 4))};
  }
  return true;
}

// The header list: the main header first, then the stream lists. Parsers
// read the streams that are whole and drop the others, so one whole stream
// is enough.
bool isBrokenHeaderList(ChunkWalk walk, VideoStream& video) {
  Chunk chunk;
  if (!walk.next(chunk) || !isCode(chunk.id, "avih") || chunk.size < kMainHeaderSize ||
      !walk.fits(chunk))
    return true;
  int streams = 0, whole = 0;
  while (walk.next(chunk)) {
    if (wrapsAround(chunk)) return true;
    if (walk.isList(chunk, "strl") && isWholeStreamList(walk.inside(chunk), streams++, video))
      ++whole;
  }
  return whole == 0;
}

// The header list goes by its type, or by the main header it opens with
// when its type is damaged.
bool isHeaderList(const ChunkWalk& walk, const Chunk& chunk) {
  if (walk.isList(chunk, "hdrl")) return true;
  const BYTE* start = isCode(chunk.id, "LIST") ? walk.bytes(chunk, 8) : nullptr;
  return start && isCode(start + 4, "avih");
}

// Frame chunks are named after their stream: "00dc", "01db"...
bool isFrameOf(const BYTE* id, int stream) {
  return stream < 100 && id[0] == '0' + stream / 10 && id[1] == '0' + stream % 10 && id[2] == 'd' &&
         (id[3] == 'c' || id[3] == 'b');
}

// Whether the first non-empty frame of the stream, in the data list or a
// "rec " list inside it, is a JPEG picture (start-of-image marker FF D8).
// Frames beyond the bytes read are not judged.
bool firstFrameIsJpeg(ChunkWalk walk, int stream, int depth = 0) {
  Chunk chunk;
  while (walk.next(chunk)) {
    if (depth == 0 && walk.isList(chunk, "rec "))
      return firstFrameIsJpeg(walk.inside(chunk), stream, 1);
    if (!isFrameOf(chunk.id, stream) || chunk.size == 0) continue;
    const BYTE* start = walk.bytes(chunk, 2);
    return !start || (start[0] == 0xFF && start[1] == 0xD8);
  }
  return true;
}

bool isBrokenAvi(const FileHead& head) {
  ChunkWalk walk(head, kRiffHeaderSize, head.size);
  VideoStream video;
  bool headerRead = false;
  Chunk chunk;
  while (walk.next(chunk)) {
    // The data list may run past the end: a file cut inside its data is read
    // as far as it goes.
    if (walk.isList(chunk, "movi"))
      return !headerRead || (video.mjpg && !firstFrameIsJpeg(walk.inside(chunk), video.index));
    if (!walk.fits(chunk)) return true;  // the file ends inside its header
    if (!headerRead && isHeaderList(walk, chunk)) {
      if (!walk.bytes(chunk, chunk.size)) return false;  // a header too big to judge
      if (isBrokenHeaderList(walk.inside(chunk), video)) return true;
      headerRead = true;
    }
  }
  // No data list: the file ends before its data.
  return walk.reachedEnd();
}

// The chunks up to the format must be whole, and the format must describe
// sound; what follows it is read as sound as far as it goes, whatever it is.
bool isBrokenWave(const FileHead& head) {
  ChunkWalk walk(head, kRiffHeaderSize, head.size);
  Chunk chunk;
  while (walk.next(chunk)) {
    if (isCode(chunk.id, "data") || !walk.fits(chunk)) return true;
    if (isCode(chunk.id, "fmt ")) {
      const BYTE* format = walk.bytes(chunk, kWaveFormatSize);
      return chunk.size < kWaveFormatSize || (format && isBrokenWaveFormat(format));
    }
  }
  return walk.reachedEnd();
}

}  // namespace

bool hasBrokenRiffStructure(const FileHead& head) {
  if (isRiffForm(head, "AVI ")) return isBrokenAvi(head);
  if (isRiffForm(head, "WAVE")) return isBrokenWave(head);
  return false;
}

bool hasBrokenRiffStructure(const std::wstring& fileName) {
  return hasBrokenRiffStructure(readFileHead(fileName));
}

DWORD readAviVideoCompression(const std::wstring& fileName) {
  const FileHead head = readFileHead(fileName);
  if (!isRiffForm(head, "AVI ")) return 0;
  ChunkWalk walk(head, kRiffHeaderSize, head.size);
  Chunk chunk;
  while (walk.next(chunk)) {
    if (!isHeaderList(walk, chunk)) continue;
    VideoStream video;
    isBrokenHeaderList(walk.inside(chunk), video);
    return video.compression;
  }
  return 0;
}

}  // namespace kivo
