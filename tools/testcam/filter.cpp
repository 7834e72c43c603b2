// The capture filter of every Test Camera device: state, settings and the
// streaming thread. Its pins are in pins.cpp.

#include <cstring>
#include <cwchar>
#include <mutex>
#include <set>

#include "testcam.h"

namespace testcam {

#define TESTCAM_FAULT(name) \
  if (faults().fails(name)) return E_FAIL

namespace {

// The devices an exclusive filter streams from, process-wide: like a real
// camera, such a device serves one stream at a time.
std::mutex g_claimLock;
std::set<const DeviceProfile*> g_claimed;

// Takes the device for a filter that starts streaming; false while another
// filter streams from it.
bool claimDevice(const DeviceProfile* device) {
  std::lock_guard<std::mutex> guard(g_claimLock);
  return g_claimed.insert(device).second;
}

void releaseDevice(const DeviceProfile* device) {
  std::lock_guard<std::mutex> guard(g_claimLock);
  g_claimed.erase(device);
}

constexpr LONG kFlipCaps = VideoControlFlag_FlipHorizontal | VideoControlFlag_FlipVertical;
constexpr LONG kStandards = AnalogVideo_NTSC_M | AnalogVideo_PAL_B | AnalogVideo_SECAM_B;

LONGLONG nowTicks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

}  // namespace

// ---------------------------------------------------------------------------
// SettingTable

SettingTable::SettingTable(const std::vector<RangeSetting>& settings, HRESULT absentResult)
    : absentResult_(absentResult) {
  for (const RangeSetting& s : settings)
    entries_.push_back(Entry{s, s.defaultValue, s.initialFlags});
}

const SettingTable::Entry* SettingTable::find(long id) const {
  for (const Entry& e : entries_) {
    if (e.setting.id == id) return &e;
  }
  return nullptr;
}

HRESULT SettingTable::getRange(long id, long* minimum, long* maximum, long* step,
                               long* defaultValue, long* capsFlags) const {
  const Entry* e = find(id);
  if (!e) return absentResult_;
  if (e->setting.capsFlags == 0) return E_NOTIMPL;
  if (!minimum || !maximum || !step || !defaultValue || !capsFlags) return E_POINTER;
  *minimum = e->setting.minimum;
  *maximum = e->setting.maximum;
  *step = e->setting.step;
  *defaultValue = e->setting.defaultValue;
  *capsFlags = e->setting.capsFlags;
  return S_OK;
}

HRESULT SettingTable::get(long id, long* value, long* flags) const {
  std::lock_guard<std::mutex> guard(mutex_);
  const Entry* e = find(id);
  if (!e) return absentResult_;
  if (e->setting.capsFlags == 0) return E_NOTIMPL;
  if (!value || !flags) return E_POINTER;
  *value = e->value;
  *flags = e->flags;
  return S_OK;
}

HRESULT SettingTable::set(long id, long value, long flags) {
  std::lock_guard<std::mutex> guard(mutex_);
  auto* e = const_cast<Entry*>(find(id));
  if (!e) return absentResult_;
  if (e->setting.capsFlags == 0) return E_NOTIMPL;
  if ((flags != 1 && flags != 2) || (flags & e->setting.capsFlags) == 0) return E_INVALIDARG;
  if (value < e->setting.minimum || value > e->setting.maximum) return E_INVALIDARG;
  e->value = value;
  e->flags = flags;
  return S_OK;
}

long SettingTable::valueOf(long id, long fallback) const {
  std::lock_guard<std::mutex> guard(mutex_);
  const Entry* e = find(id);
  return e && e->setting.capsFlags != 0 ? e->value : fallback;
}

// ---------------------------------------------------------------------------
// Creation and identity

HRESULT CaptureFilter::create(const DeviceProfile& profile, REFIID iid, void** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  auto* filter = new (std::nothrow) CaptureFilter(profile);
  if (!filter) return E_OUTOFMEMORY;
  if (profile.analog && !filter->crossbar_) {
    filter->Release();
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = filter->QueryInterface(iid, result);
  filter->Release();
  return hr;
}

CaptureFilter::CaptureFilter(const DeviceProfile& profile)
    : profile_(profile), faults_(Faults::fromEnvironment()) {
  moduleAddRef();
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  ticksPerSecond_ = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
  capturePin_.reset(new CapturePin(this));
  if (!profile.procAmp.empty()) procAmp_.reset(new ProcAmpPart(this, profile.procAmp));
  if (!profile.cameraControl.empty()) {
    cameraControl_.reset(new CameraControlPart(this, profile.cameraControl));
  }
  if (profile.analog) {
    analogPin_.reset(new AnalogInputPin(this));
    if (SUCCEEDED(createCrossbar(faults_, &crossbar_))) {
      crossbar_->wire(static_cast<IPin*>(analogPin_.get()));
    }
  }
}

CaptureFilter::~CaptureFilter() {
  {
    std::lock_guard<std::mutex> transition(transitionLock_);
    stopStreaming();
    if (claimed_) releaseDevice(&profile_);
  }
  if (crossbar_) {
    crossbar_->wire(nullptr);
    crossbar_->Release();
  }
  moduleRelease();
}

STDMETHODIMP CaptureFilter::QueryInterface(REFIID iid, void** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter ||
      iid == IID_IBaseFilter) {
    *result = static_cast<IBaseFilter*>(this);
  } else if (iid == IID_IAMFilterMiscFlags) {
    *result = static_cast<IAMFilterMiscFlags*>(this);
  } else if (iid == IID_IPersistPropertyBag) {
    *result = static_cast<IPersistPropertyBag*>(this);
  } else if (iid == IID_IAMVideoControl && profile_.videoControl) {
    *result = static_cast<IAMVideoControl*>(this);
  } else if (iid == IID_IAMAnalogVideoDecoder && profile_.analog) {
    *result = static_cast<IAMAnalogVideoDecoder*>(this);
  } else if (iid == IID_IAMVfwCaptureDialogs && profile_.vfw) {
    *result = static_cast<IAMVfwCaptureDialogs*>(this);
  } else if (iid == IID_IAMVideoProcAmp && procAmp_) {
    *result = static_cast<IAMVideoProcAmp*>(procAmp_.get());
  } else if (iid == IID_IAMCameraControl && cameraControl_) {
    *result = static_cast<IAMCameraControl*>(cameraControl_.get());
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CaptureFilter::AddRef() { return ++refs_; }

STDMETHODIMP_(ULONG) CaptureFilter::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP CaptureFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = *profile_.clsid;
  return S_OK;
}

STDMETHODIMP CaptureFilter::Load(IPropertyBag*, IErrorLog*) {
  TESTCAM_FAULT("IPersistPropertyBag.Load");
  return S_OK;
}

bool CaptureFilter::isCapturePin(IPin* pin) const {
  if (!pin) return false;
  CComPtr<IPin> asPin;
  if (FAILED(pin->QueryInterface(IID_IPin, reinterpret_cast<void**>(&asPin)))) return false;
  return asPin.p == static_cast<IPin*>(capturePin_.get());
}

// ---------------------------------------------------------------------------
// IMediaFilter, IBaseFilter

STDMETHODIMP CaptureFilter::Stop() {
  TESTCAM_FAULT("IBaseFilter.Stop");
  std::lock_guard<std::mutex> transition(transitionLock_);
  // The thread is joined without the filter lock: a host's callback on the
  // streaming thread may still ask the filter for its state meanwhile.
  stopStreaming();
  if (claimed_) {
    releaseDevice(&profile_);
    claimed_ = false;
  }
  std::lock_guard<std::recursive_mutex> guard(lock_);
  state_ = State_Stopped;
  return S_OK;
}

HRESULT CaptureFilter::claimForStream() {
  if (!faults_.exclusive || claimed_) return S_OK;
  if (!claimDevice(&profile_)) return HRESULT_FROM_WIN32(ERROR_BUSY);
  claimed_ = true;
  return S_OK;
}

STDMETHODIMP CaptureFilter::Pause() {
  TESTCAM_FAULT("IBaseFilter.Pause");
  std::lock_guard<std::mutex> transition(transitionLock_);
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (state_ == State_Stopped) {
    const HRESULT claimed = claimForStream();
    if (FAILED(claimed)) return claimed;
    startStreaming();
  } else {
    running_ = false;
    if (wakeEvent_) SetEvent(wakeEvent_);
  }
  state_ = State_Paused;
  return S_OK;
}

STDMETHODIMP CaptureFilter::Run(REFERENCE_TIME start) {
  TESTCAM_FAULT("IBaseFilter.Run");
  std::lock_guard<std::mutex> transition(transitionLock_);
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (state_ == State_Stopped) {
    const HRESULT claimed = claimForStream();
    if (FAILED(claimed)) return claimed;
    startStreaming();
  }
  {
    std::lock_guard<std::mutex> timing(timingLock_);
    streamStart_ = start;
    streamClock_ = clock_;
  }
  restartTiming_ = true;
  running_ = true;
  if (wakeEvent_) SetEvent(wakeEvent_);
  state_ = State_Running;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  *state = state_;
  // A live source has nothing to cue while paused.
  return state_ == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP CaptureFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  clock_ = clock;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return clock_.CopyTo(clock);
}

STDMETHODIMP CaptureFilter::EnumPins(IEnumPins** result) {
  TESTCAM_FAULT("IBaseFilter.EnumPins");
  std::vector<IPin*> pins;
  if (analogPin_) pins.push_back(static_cast<IPin*>(analogPin_.get()));
  pins.push_back(static_cast<IPin*>(capturePin_.get()));
  return createPinEnum(pins, static_cast<IBaseFilter*>(this), result);
}

STDMETHODIMP CaptureFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  if (std::wcscmp(id, L"Capture") == 0) {
    *pin = static_cast<IPin*>(capturePin_.get());
  } else if (analogPin_ && std::wcscmp(id, L"Analog Video In") == 0) {
    *pin = static_cast<IPin*>(analogPin_.get());
  } else {
    return VFW_E_NOT_FOUND;
  }
  (*pin)->AddRef();
  return S_OK;
}

STDMETHODIMP CaptureFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  std::lock_guard<std::mutex> guard(graphLock_);
  std::memset(info, 0, sizeof(*info));
  std::wcsncpy(info->achName, name_.c_str(), MAX_FILTER_NAME - 1);
  info->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}

STDMETHODIMP CaptureFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard<std::mutex> guard(graphLock_);
  // The graph holds the filter; the filter only points back at it.
  graph_ = graph;
  name_ = name ? name : L"";
  return S_OK;
}

STDMETHODIMP CaptureFilter::QueryVendorInfo(LPWSTR* info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP_(ULONG) CaptureFilter::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

// ---------------------------------------------------------------------------
// IAMVideoControl

STDMETHODIMP CaptureFilter::GetCaps(IPin* pin, LONG* flags) {
  TESTCAM_FAULT("IAMVideoControl.GetCaps");
  if (!flags) return E_POINTER;
  if (!isCapturePin(pin)) return E_INVALIDARG;
  *flags = kFlipCaps;
  return S_OK;
}

STDMETHODIMP CaptureFilter::SetMode(IPin* pin, LONG mode) {
  TESTCAM_FAULT("IAMVideoControl.SetMode");
  if (!isCapturePin(pin) || (mode & ~kFlipCaps) != 0) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(settingsLock_);
  videoControlMode_ = mode;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetMode(IPin* pin, LONG* mode) {
  TESTCAM_FAULT("IAMVideoControl.GetMode");
  if (!mode) return E_POINTER;
  if (!isCapturePin(pin)) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(settingsLock_);
  *mode = videoControlMode_;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetCurrentActualFrameRate(IPin* pin, LONGLONG* interval) {
  TESTCAM_FAULT("IAMVideoControl.GetCurrentActualFrameRate");
  if (!interval) return E_POINTER;
  if (!isCapturePin(pin)) return E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!capturePin_->isConnected()) return VFW_E_NOT_CONNECTED;
  const LONGLONG measured = measuredInterval_;
  if (state_ == State_Running && measured > 0) {
    *interval = measured;
  } else {
    CMediaType type(capturePin_->currentType());
    REFERENCE_TIME* field = frameIntervalField(type);
    *interval = field ? *field : 0;
  }
  return S_OK;
}

int CaptureFilter::formatAt(LONG index) const {
  const std::vector<int> reported = reportedFormats(profile_.formats.size(), faults_.malformedCaps);
  if (index < 0 || index >= static_cast<LONG>(reported.size())) return -1;
  return reported[static_cast<size_t>(index)];
}

STDMETHODIMP CaptureFilter::GetMaxAvailableFrameRate(IPin* pin, LONG index, SIZE dimensions,
                                                     LONGLONG* interval) {
  TESTCAM_FAULT("IAMVideoControl.GetMaxAvailableFrameRate");
  if (!interval) return E_POINTER;
  const int position = formatAt(index);
  if (!isCapturePin(pin) || position < 0) return E_INVALIDARG;
  const Format& format = profile_.formats[static_cast<size_t>(position)];
  if (dimensions.cx != format.caps.MaxOutputSize.cx ||
      dimensions.cy != format.caps.MaxOutputSize.cy) {
    return E_INVALIDARG;
  }
  *interval = format.caps.MinFrameInterval;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetFrameRateList(IPin* pin, LONG index, SIZE dimensions, LONG* count,
                                             LONGLONG** intervals) {
  TESTCAM_FAULT("IAMVideoControl.GetFrameRateList");
  if (!count) return E_POINTER;
  const int position = formatAt(index);
  if (!isCapturePin(pin) || position < 0) return E_INVALIDARG;
  const Format& format = profile_.formats[static_cast<size_t>(position)];
  if (dimensions.cx != format.caps.MaxOutputSize.cx ||
      dimensions.cy != format.caps.MaxOutputSize.cy) {
    return E_INVALIDARG;
  }
  *count = static_cast<LONG>(format.intervals.size());
  if (!intervals) return S_OK;  // the caller asked for the count only
  *intervals = static_cast<LONGLONG*>(CoTaskMemAlloc(sizeof(LONGLONG) * format.intervals.size()));
  if (!*intervals) return E_OUTOFMEMORY;
  for (size_t i = 0; i < format.intervals.size(); ++i) (*intervals)[i] = format.intervals[i];
  return S_OK;
}

// ---------------------------------------------------------------------------
// IAMAnalogVideoDecoder

STDMETHODIMP CaptureFilter::get_AvailableTVFormats(LONG* standards) {
  TESTCAM_FAULT("IAMAnalogVideoDecoder.get_AvailableTVFormats");
  if (!standards) return E_POINTER;
  *standards = kStandards;
  return S_OK;
}

STDMETHODIMP CaptureFilter::put_TVFormat(LONG standard) {
  TESTCAM_FAULT("IAMAnalogVideoDecoder.put_TVFormat");
  // Exactly one of the available standards.
  if (standard == 0 || (standard & (standard - 1)) != 0 || (standard & kStandards) == 0) {
    return E_INVALIDARG;
  }
  std::lock_guard<std::mutex> guard(settingsLock_);
  tvFormat_ = standard;
  return S_OK;
}

STDMETHODIMP CaptureFilter::get_TVFormat(LONG* standard) {
  TESTCAM_FAULT("IAMAnalogVideoDecoder.get_TVFormat");
  if (!standard) return E_POINTER;
  std::lock_guard<std::mutex> guard(settingsLock_);
  *standard = tvFormat_;
  return S_OK;
}

STDMETHODIMP CaptureFilter::get_HorizontalLocked(LONG* locked) {
  TESTCAM_FAULT("IAMAnalogVideoDecoder.get_HorizontalLocked");
  if (!locked) return E_POINTER;
  // Locked on a signal: some video input is routed to the decoder.
  *locked = crossbar_ && crossbar_->routedVideoType() != 0 ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CaptureFilter::put_VCRHorizontalLocking(LONG locking) {
  TESTCAM_FAULT("IAMAnalogVideoDecoder.put_VCRHorizontalLocking");
  if (locking != 0 && locking != 1) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(settingsLock_);
  vcrLocking_ = locking;
  return S_OK;
}

STDMETHODIMP CaptureFilter::get_VCRHorizontalLocking(LONG* locking) {
  TESTCAM_FAULT("IAMAnalogVideoDecoder.get_VCRHorizontalLocking");
  if (!locking) return E_POINTER;
  std::lock_guard<std::mutex> guard(settingsLock_);
  *locking = vcrLocking_;
  return S_OK;
}

STDMETHODIMP CaptureFilter::get_NumberOfLines(LONG* lines) {
  TESTCAM_FAULT("IAMAnalogVideoDecoder.get_NumberOfLines");
  if (!lines) return E_POINTER;
  std::lock_guard<std::mutex> guard(settingsLock_);
  *lines = tvFormat_ == AnalogVideo_NTSC_M ? 525 : 625;
  return S_OK;
}

STDMETHODIMP CaptureFilter::put_OutputEnable(LONG enable) {
  TESTCAM_FAULT("IAMAnalogVideoDecoder.put_OutputEnable");
  if (enable != 0 && enable != 1) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(settingsLock_);
  outputEnable_ = enable;
  return S_OK;
}

STDMETHODIMP CaptureFilter::get_OutputEnable(LONG* enable) {
  TESTCAM_FAULT("IAMAnalogVideoDecoder.get_OutputEnable");
  if (!enable) return E_POINTER;
  std::lock_guard<std::mutex> guard(settingsLock_);
  *enable = outputEnable_;
  return S_OK;
}

// ---------------------------------------------------------------------------
// IAMVfwCaptureDialogs: the driver has no dialog to show.

STDMETHODIMP CaptureFilter::HasDialog(int) {
  TESTCAM_FAULT("IAMVfwCaptureDialogs.HasDialog");
  return S_FALSE;
}

STDMETHODIMP CaptureFilter::ShowDialog(int, HWND) {
  TESTCAM_FAULT("IAMVfwCaptureDialogs.ShowDialog");
  return E_NOTIMPL;
}

STDMETHODIMP CaptureFilter::SendDriverMessage(int, int, LONG, LONG) {
  TESTCAM_FAULT("IAMVfwCaptureDialogs.SendDriverMessage");
  return E_NOTIMPL;
}

// ---------------------------------------------------------------------------
// IAMVideoProcAmp, IAMCameraControl

#define TESTCAM_PART_FAULT(name) \
  if (filter_->faults().fails(name)) return E_FAIL

STDMETHODIMP CaptureFilter::ProcAmpPart::GetRange(LONG id, LONG* minimum, LONG* maximum, LONG* step,
                                                  LONG* defaultValue, LONG* capsFlags) {
  TESTCAM_PART_FAULT("IAMVideoProcAmp.GetRange");
  return table.getRange(id, minimum, maximum, step, defaultValue, capsFlags);
}

STDMETHODIMP CaptureFilter::ProcAmpPart::Set(LONG id, LONG value, LONG flags) {
  TESTCAM_PART_FAULT("IAMVideoProcAmp.Set");
  return table.set(id, value, flags);
}

STDMETHODIMP CaptureFilter::ProcAmpPart::Get(LONG id, LONG* value, LONG* flags) {
  TESTCAM_PART_FAULT("IAMVideoProcAmp.Get");
  return table.get(id, value, flags);
}

STDMETHODIMP CaptureFilter::CameraControlPart::GetRange(LONG id, LONG* minimum, LONG* maximum,
                                                        LONG* step, LONG* defaultValue,
                                                        LONG* capsFlags) {
  TESTCAM_PART_FAULT("IAMCameraControl.GetRange");
  return table.getRange(id, minimum, maximum, step, defaultValue, capsFlags);
}

STDMETHODIMP CaptureFilter::CameraControlPart::Set(LONG id, LONG value, LONG flags) {
  TESTCAM_PART_FAULT("IAMCameraControl.Set");
  return table.set(id, value, flags);
}

STDMETHODIMP CaptureFilter::CameraControlPart::Get(LONG id, LONG* value, LONG* flags) {
  TESTCAM_PART_FAULT("IAMCameraControl.Get");
  return table.get(id, value, flags);
}

// ---------------------------------------------------------------------------
// Streaming

PictureSettings CaptureFilter::pictureSettings() const {
  PictureSettings s;
  if (procAmp_) {
    s.brightness = procAmp_->table.valueOf(VideoProcAmp_Brightness, 128) - 128;
    s.gray = procAmp_->table.valueOf(VideoProcAmp_ColorEnable, 1) == 0;
  }
  {
    std::lock_guard<std::mutex> guard(settingsLock_);
    s.flipHorizontal = (videoControlMode_ & VideoControlFlag_FlipHorizontal) != 0;
    s.flipVertical = (videoControlMode_ & VideoControlFlag_FlipVertical) != 0;
    s.black = profile_.analog && outputEnable_ == 0;
  }
  if (crossbar_) {
    switch (crossbar_->routedVideoType()) {
      case PhysConn_Video_Tuner:
        s.pattern = 0;
        break;
      case PhysConn_Video_Composite:
        s.pattern = 1;
        break;
      case PhysConn_Video_SVideo:
        s.pattern = 2;
        break;
      default:
        s.pattern = 3;
        break;
    }
  }
  return s;
}

// With both locks held, on the way from stopped to paused.
void CaptureFilter::startStreaming() {
  if (thread_.joinable() || !capturePin_->isConnected()) return;
  if (FAILED(capturePin_->activate())) return;
  streamType_ = capturePin_->currentType();
  REFERENCE_TIME* interval = frameIntervalField(streamType_);
  streamInterval_ = interval && *interval > 0 ? *interval : 333333;
  streamAllocator_ = capturePin_->allocator().p;
  streamTransport_ = capturePin_->transport().p;
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
  streamAllocator_.Release();
  streamTransport_.Release();
  std::lock_guard<std::mutex> timing(timingLock_);
  streamClock_.Release();
}

void CaptureFilter::streamLoop() {
  const LONGLONG intervalTicks =
      static_cast<LONGLONG>(static_cast<double>(streamInterval_) * ticksPerSecond_ / 1e7);
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
  streamTransport_->Receive(sample);
  sample.Release();

  const LONGLONG now = nowTicks();
  if (lastDelivery_ != 0) {
    measuredInterval_ =
        static_cast<LONGLONG>(static_cast<double>(now - lastDelivery_) * 1e7 / ticksPerSecond_);
  }
  lastDelivery_ = now;
  ++frameCounter_;
}

void CaptureFilter::signalDeviceLost() {
  std::lock_guard<std::mutex> guard(graphLock_);
  if (!graph_) return;
  CComPtr<IMediaEventSink> sink;
  if (SUCCEEDED(graph_->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
    sink->Notify(
        EC_DEVICE_LOST,
        reinterpret_cast<LONG_PTR>(static_cast<IUnknown*>(static_cast<IBaseFilter*>(this))), 0);
  }
}

}  // namespace testcam
