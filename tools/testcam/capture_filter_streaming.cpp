// The streaming thread of the capture filter: from pause to stop it
// delivers frames at the current format's rate while the graph runs.

#include <kivo/util.h>

#include "capture_filter.h"

namespace testcam {

namespace {

// The frame interval of a format block without one: 30 frames per second.
constexpr REFERENCE_TIME kDefaultInterval = 333333;

LONGLONG nowTicks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// The pattern of the input routed to the decoder (see PictureSettings).
int patternOf(long routedType) {
  switch (routedType) {
    case PhysConn_Video_Tuner:
      return 0;
    case PhysConn_Video_Composite:
      return 1;
    case PhysConn_Video_SVideo:
      return 2;
    default:
      return 3;
  }
}

}  // namespace

PictureSettings CaptureFilter::pictureSettings() const {
  PictureSettings s;
  if (procAmp_) {
    s.brightness = procAmp_->table().valueOf(VideoProcAmp_Brightness, 128) - 128;
    s.gray = procAmp_->table().valueOf(VideoProcAmp_ColorEnable, 1) == 0;
  }
  {
    std::lock_guard<std::mutex> guard(settingsLock_);
    s.flipHorizontal = (videoControlMode_ & VideoControlFlag_FlipHorizontal) != 0;
    s.flipVertical = (videoControlMode_ & VideoControlFlag_FlipVertical) != 0;
    s.black = profile_.analog && outputEnable_ == 0;
  }
  if (crossbar_) s.pattern = patternOf(crossbar_->routedVideoType());
  return s;
}

// With both locks held, on the way from stopped to paused.
void CaptureFilter::startStreaming() {
  if (thread_.joinable() || !capturePin_->isConnected()) return;
  if (FAILED(capturePin_->activate())) return;
  streamType_ = capturePin_->currentType();
  const REFERENCE_TIME* interval = frameIntervalField(streamType_);
  streamInterval_ = interval && *interval > 0 ? *interval : kDefaultInterval;
  streamAllocator_ = capturePin_->allocator();
  streamTransport_ = capturePin_->transport();
  quitEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wakeEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  frameCounter_ = 0;
  sendMediaType_ = true;
  lost_ = false;
  running_ = false;
  measuredInterval_ = 0;
  lastDelivery_ = 0;
  thread_ = std::thread(&CaptureFilter::streamLoop, this);
}

// With the transition lock held, not the filter lock. Once it returns no
// frame is on its way.
void CaptureFilter::stopStreaming() {
  running_ = false;
  if (quitEvent_) SetEvent(quitEvent_);
  {
    // Decommitting releases a thread that waits for a free buffer.
    std::lock_guard<std::recursive_mutex> guard(lock_);
    capturePin_->deactivate();
  }
  if (thread_.joinable()) thread_.join();
  if (quitEvent_) CloseHandle(quitEvent_);
  if (wakeEvent_) CloseHandle(wakeEvent_);
  quitEvent_ = nullptr;
  wakeEvent_ = nullptr;
  streamAllocator_ = nullptr;
  streamTransport_ = nullptr;
  std::lock_guard<std::mutex> timing(timingLock_);
  streamClock_ = nullptr;
}

void CaptureFilter::streamLoop() {
  const LONGLONG intervalTicks = static_cast<LONGLONG>(
      static_cast<double>(streamInterval_) * ticksPerSecond_ / kivo::util::kUnitsPerSecond);
  for (;;) {
    DWORD timeout = INFINITE;
    if (running_ && !lost_) {
      const LONGLONG now = nowTicks();
      if (restartTiming_.exchange(false)) {
        nextDue_ = now;
        segmentStarted_ = false;
      }
      if (nextDue_ > now) {
        timeout = static_cast<DWORD>((nextDue_ - now) * 1000 / ticksPerSecond_ + 1);
      } else {
        timeout = 0;
      }
    }
    HANDLE events[2] = {quitEvent_, wakeEvent_};
    const DWORD woken = WaitForMultipleObjects(2, events, FALSE, timeout);
    if (woken == WAIT_OBJECT_0) break;
    if (woken == WAIT_OBJECT_0 + 1) continue;
    if (woken != WAIT_TIMEOUT) break;
    if (!running_ || lost_) continue;
    const LONGLONG now = nowTicks();
    if (nextDue_ > now) continue;
    if (faults_.loseAfter >= 0 && frameCounter_ >= static_cast<uint32_t>(faults_.loseAfter)) {
      lost_ = true;
      signalDeviceLost();
      continue;
    }
    deliverFrame();
    nextDue_ += intervalTicks;
    // Never make up for lost time with a burst of frames.
    if (nextDue_ < now) nextDue_ = now;
  }
}

void CaptureFilter::deliverFrame() {
  CComPtr<IMediaSample> sample;
  if (FAILED(streamAllocator_->GetBuffer(&sample, nullptr, nullptr, 0)) || !sample) {
    return;
  }
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || !data) return;
  const long length =
      drawFrame(streamType_, pictureSettings(), frameCounter_, data, sample->GetSize());
  if (length == 0) return;
  sample->SetActualDataLength(length);
  stampSample(sample);
  streamTransport_->Receive(sample);
  sample = nullptr;

  const LONGLONG now = nowTicks();
  if (lastDelivery_ != 0) {
    measuredInterval_ = static_cast<LONGLONG>(static_cast<double>(now - lastDelivery_) *
                                              kivo::util::kUnitsPerSecond / ticksPerSecond_);
  }
  lastDelivery_ = now;
  ++frameCounter_;
}

// Times, sync point, discontinuity and, on a stream's first sample, the type.
void CaptureFilter::stampSample(IMediaSample* sample) {
  // The stream time of the capture: the graph clock's time minus the run's
  // start time, as a live source stamps its frames. Such a frame is never
  // early for a renderer. Without a clock: frame number times interval.
  REFERENCE_TIME start = static_cast<REFERENCE_TIME>(frameCounter_) * streamInterval_;
  {
    std::lock_guard<std::mutex> timing(timingLock_);
    REFERENCE_TIME now = 0;
    if (streamClock_ && SUCCEEDED(streamClock_->GetTime(&now))) start = now - streamStart_;
  }
  // Strictly increasing within one run.
  if (segmentStarted_ && start <= lastStart_) start = lastStart_ + 1;
  segmentStarted_ = true;
  lastStart_ = start;
  REFERENCE_TIME stop = start + streamInterval_;
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  sample->SetPreroll(FALSE);
  sample->SetDiscontinuity(frameCounter_ == 0 ? TRUE : FALSE);
  if (sendMediaType_) {
    sample->SetMediaType(&streamType_);
    sendMediaType_ = false;
  }
}

void CaptureFilter::signalDeviceLost() {
  std::lock_guard<std::mutex> guard(graphLock_);
  if (!graph_) return;
  CComPtr<IMediaEventSink> sink;
  if (SUCCEEDED(graph_->QueryInterface(IID_PPV_ARGS(&sink)))) {
    sink->Notify(
        EC_DEVICE_LOST,
        reinterpret_cast<LONG_PTR>(static_cast<IUnknown*>(static_cast<IBaseFilter*>(this))), 0);
  }
}

}  // namespace testcam
