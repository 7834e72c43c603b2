#include "capture_filter.h"

#include <new>
#include <set>

namespace testcam {

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

}  // namespace

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
    : FilterBase(*profile.clsid),
      profile_(profile),
      faults_(Faults::fromEnvironment()),
      capsOrder_(reportedFormats(profile.formats.size(), faults_.malformedCaps)) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  ticksPerSecond_ = frequency.QuadPart > 0 ? frequency.QuadPart : 1;
  capturePin_.reset(new CapturePin(this));
  if (!profile.procAmp.empty()) {
    procAmp_.reset(
        new ProcAmp(static_cast<IBaseFilter*>(this), faults_, "IAMVideoProcAmp", profile.procAmp));
  }
  if (!profile.cameraControl.empty()) {
    cameraControl_.reset(new CameraControl(static_cast<IBaseFilter*>(this), faults_,
                                           "IAMCameraControl", profile.cameraControl));
  }
  if (profile.analog) {
    analogPin_.reset(new AnalogInputPin(this));
    crossbar_.Attach(new (std::nothrow) Crossbar(faults_));
    if (crossbar_) crossbar_->wire(analogPin_.get());
  }
}

CaptureFilter::~CaptureFilter() {
  {
    std::lock_guard<std::mutex> transition(transitionLock_);
    stopStreaming();
    releaseClaim();
  }
  if (crossbar_) crossbar_->wire(nullptr);
}

void* CaptureFilter::interfaceFor(REFIID iid) {
  if (iid == IID_IAMVideoControl && !profile_.videoControl) return nullptr;
  if (iid == IID_IAMAnalogVideoDecoder && !profile_.analog) return nullptr;
  if (iid == IID_IAMVfwCaptureDialogs && !profile_.vfw) return nullptr;
  // The settings are parts of the filter, there when the device has them.
  if (iid == IID_IAMVideoProcAmp) return static_cast<IAMVideoProcAmp*>(procAmp_.get());
  if (iid == IID_IAMCameraControl) return static_cast<IAMCameraControl*>(cameraControl_.get());
  return FilterBase::interfaceFor(iid);
}

std::vector<IPin*> CaptureFilter::pins() {
  std::vector<IPin*> pins;
  if (analogPin_) pins.push_back(analogPin_.get());
  pins.push_back(capturePin_.get());
  return pins;
}

bool CaptureFilter::isCapturePin(IPin* pin) const {
  if (!pin) return false;
  CComPtr<IPin> asPin;
  if (FAILED(pin->QueryInterface(IID_PPV_ARGS(&asPin)))) return false;
  return asPin == capturePin_.get();
}

STDMETHODIMP CaptureFilter::Load(IPropertyBag*, IErrorLog*) {
  if (faults_.fails("IPersistPropertyBag.Load")) return E_FAIL;
  return S_OK;
}

STDMETHODIMP CaptureFilter::EnumPins(IEnumPins** result) {
  if (faults_.fails("IBaseFilter.EnumPins")) return E_FAIL;
  return FilterBase::EnumPins(result);
}

// ---------------------------------------------------------------------------
// State transitions

HRESULT CaptureFilter::claimForStream() {
  if (!faults_.exclusive || claimed_) return S_OK;
  if (!claimDevice(&profile_)) return HRESULT_FROM_WIN32(ERROR_BUSY);
  claimed_ = true;
  return S_OK;
}

HRESULT CaptureFilter::startIfStopped() {
  if (state_ != State_Stopped) return S_OK;
  const HRESULT claimed = claimForStream();
  if (FAILED(claimed)) return claimed;
  startStreaming();
  return S_OK;
}

void CaptureFilter::releaseClaim() {
  if (claimed_) releaseDevice(&profile_);
  claimed_ = false;
}

STDMETHODIMP CaptureFilter::Stop() {
  if (faults_.fails("IBaseFilter.Stop")) return E_FAIL;
  std::lock_guard<std::mutex> transition(transitionLock_);
  // The thread is joined without the filter lock: a host's callback on the
  // streaming thread may still ask the filter for its state meanwhile.
  stopStreaming();
  releaseClaim();
  std::lock_guard<std::recursive_mutex> guard(lock_);
  state_ = State_Stopped;
  return S_OK;
}

STDMETHODIMP CaptureFilter::Pause() {
  if (faults_.fails("IBaseFilter.Pause")) return E_FAIL;
  std::lock_guard<std::mutex> transition(transitionLock_);
  std::lock_guard<std::recursive_mutex> guard(lock_);
  const HRESULT started = startIfStopped();
  if (FAILED(started)) return started;
  running_ = false;
  if (wakeEvent_) SetEvent(wakeEvent_);
  state_ = State_Paused;
  return S_OK;
}

STDMETHODIMP CaptureFilter::Run(REFERENCE_TIME start) {
  if (faults_.fails("IBaseFilter.Run")) return E_FAIL;
  std::lock_guard<std::mutex> transition(transitionLock_);
  std::lock_guard<std::recursive_mutex> guard(lock_);
  const HRESULT started = startIfStopped();
  if (FAILED(started)) return started;
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

STDMETHODIMP CaptureFilter::GetState(DWORD timeout, FILTER_STATE* state) {
  const HRESULT hr = FilterBase::GetState(timeout, state);
  // A live source has nothing to cue while paused.
  return SUCCEEDED(hr) && *state == State_Paused ? VFW_S_CANT_CUE : hr;
}

}  // namespace testcam
