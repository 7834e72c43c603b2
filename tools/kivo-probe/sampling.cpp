#include "sampling.h"

#include "core/bmp.h"
#include "core/files.h"
#include "probe.h"

#include <kivo/video_subtype.h>

#include <dvdmedia.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace kivo::probe {

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

namespace {
std::atomic<bool> stopRequested{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // A second request ends the program the usual way.
  if (stopRequested.exchange(true)) return FALSE;
  return TRUE;
}
}  // namespace

bool interrupted() { return stopRequested.load(); }

void watchForInterruption() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

double StreamState::measuredRate() const {
  const uint64_t count = delivered.load();
  const double span = lastArrival.load() - firstArrival.load();
  return count > 1 && span > 0 ? (count - 1) / span : 0.0;
}

long SampleCollector::processSample(double, IMediaSample* sample) {
  const double arrival = now();
  const uint64_t number = ++state_->delivered;
  if (number == 1) state_->firstArrival = arrival;
  state_->lastArrival = arrival;
  if (!sample) return S_OK;
  const long length = sample->GetActualDataLength();
  if (length > 0) state_->bytes += static_cast<uint64_t>(length);
  if (!state_->keepBytes) return S_OK;
  if (state_->keepLimit && number > state_->keepLimit) return S_OK;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
  CapturedSample copy;
  copy.number = number;
  if (length > 0) copy.bytes.assign(data, data + length);
  state_->queue.push(std::move(copy));
  return S_OK;
}

bool layoutFromMediaType(const AM_MEDIA_TYPE& type, FrameLayout* layout, std::string* subtypeName) {
  const BITMAPINFOHEADER* bitmap = nullptr;
  VIDEOINFOHEADER header = {};
  if (type.formattype == FORMAT_VideoInfo && type.pbFormat &&
      type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    std::memcpy(&header, type.pbFormat, sizeof header);
    bitmap = &header.bmiHeader;
  } else if (type.formattype == FORMAT_VideoInfo2 && type.pbFormat &&
             type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    const VIDEOINFOHEADER2* header2 = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
    header.bmiHeader = header2->bmiHeader;
    bitmap = &header.bmiHeader;
  }
  if (!bitmap) {
    if (subtypeName) *subtypeName = "(no video format block)";
    return false;
  }
  const VideoSubtype subtype(&header, type.subtype, bitmap->biHeight);
  if (subtypeName) *subtypeName = subtype.getName();
  PixelFormat format;
  if (!pixelFormatFromName(subtype.getName(), &format)) return false;
  layout->format = format;
  layout->width = bitmap->biWidth;
  layout->height = bitmap->biHeight;
  layout->stride = 0;
  return true;
}

bool FrameWriter::write(const CapturedSample& sample, std::string* error) {
  std::string problem;
  char name[32];
  std::snprintf(name, sizeof name, "frame-%06llu.bmp",
                static_cast<unsigned long long>(sample.number));
  const bool ok =
      convertFrame(layout_, sample.bytes.data(), sample.bytes.size(), &image_, &problem) &&
      writeFileBytes(joinPath(folder_, name), encodeBmp(image_), &problem);
  if (ok) {
    ++written_;
    return true;
  }
  ++failed_;
  problem = std::string(name) + ": " + problem;
  if (firstError_.empty()) firstError_ = problem;
  if (error) *error = problem;
  return false;
}

FrameStream::FrameStream(size_t capacity, uint64_t limit, bool keep)
    : state_(std::make_shared<StreamState>(capacity)), limit_(limit) {
  state_->keepBytes = keep;
  state_->keepLimit = limit;
}

void FrameStream::writeNothing() {
  writer_.reset();
  state_->keepBytes = false;
  state_->queue.close();
}

void FrameStream::writeNext(std::chrono::milliseconds wait) {
  CapturedSample sample;
  if (state_->queue.pop(&sample, wait) && writer_) writer_->write(sample, nullptr);
}

void FrameStream::writeQueued() {
  CapturedSample sample;
  while (writer_ && state_->queue.pop(&sample, std::chrono::milliseconds(0))) {
    writer_->write(sample, nullptr);
  }
}

void FrameStream::reportWritten(const std::string& folder) const {
  if (writer_) out(std::to_string(writer_->written()) + " frames written to " + folder);
}

void FrameStream::throwIfWriteFailed() const {
  if (writer_ && writer_->failed()) {
    throw Failure(std::to_string(writer_->failed()) +
                  " frames could not be written; the first: " + writer_->firstError());
  }
}

void ProgressLine::show(const std::string& text, bool force) {
  if (!textOutput()) return;
  const double t = now();
  if (!force && shown_ && t - lastShown_ < 0.25) return;
  std::string line = text;
  if (line.size() < lastLength_) line.append(lastLength_ - line.size(), ' ');
  std::fputs(("\r" + line).c_str(), stdout);
  std::fflush(stdout);
  lastLength_ = text.size();
  lastShown_ = t;
  shown_ = true;
}

void ProgressLine::finish() {
  if (shown_) {
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  shown_ = false;
  lastLength_ = 0;
}

std::string formatSeconds(double seconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f s", seconds);
  return buffer;
}

std::string formatRate(double rate) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f fps", rate);
  return buffer;
}

}  // namespace kivo::probe
