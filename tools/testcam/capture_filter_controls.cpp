// The configuration interfaces of the capture filter: IAMVideoControl,
// IAMAnalogVideoDecoder and IAMVfwCaptureDialogs.

#include "capture_filter.h"

#include <algorithm>

namespace testcam {

namespace {

constexpr LONG kFlipCaps = VideoControlFlag_FlipHorizontal | VideoControlFlag_FlipVertical;
constexpr LONG kStandards = AnalogVideo_NTSC_M | AnalogVideo_PAL_B | AnalogVideo_SECAM_B;

bool fitsFormat(SIZE dimensions, const Format& format) {
  return dimensions.cx == format.caps.MaxOutputSize.cx &&
         dimensions.cy == format.caps.MaxOutputSize.cy;
}

}  // namespace

const Format* CaptureFilter::formatAt(LONG index) const {
  if (index < 0 || index >= static_cast<LONG>(capsOrder_.size())) return nullptr;
  const int position = capsOrder_[static_cast<size_t>(index)];
  return position < 0 ? nullptr : &profile_.formats[static_cast<size_t>(position)];
}

HRESULT CaptureFilter::readSetting(const char* method, const long& setting, LONG* value) const {
  if (faults_.fails(method)) return E_FAIL;
  if (!value) return E_POINTER;
  std::lock_guard<std::mutex> guard(settingsLock_);
  *value = setting;
  return S_OK;
}

HRESULT CaptureFilter::writeSwitch(const char* method, long* setting, LONG value) {
  if (faults_.fails(method)) return E_FAIL;
  if (value != 0 && value != 1) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(settingsLock_);
  *setting = value;
  return S_OK;
}

// ---------------------------------------------------------------------------
// IAMVideoControl: every call refuses a pin other than the capture pin.

STDMETHODIMP CaptureFilter::GetCaps(IPin* pin, LONG* flags) {
  if (faults_.fails("IAMVideoControl.GetCaps")) return E_FAIL;
  if (!flags) return E_POINTER;
  if (!isCapturePin(pin)) return E_INVALIDARG;
  *flags = kFlipCaps;
  return S_OK;
}

STDMETHODIMP CaptureFilter::SetMode(IPin* pin, LONG mode) {
  if (faults_.fails("IAMVideoControl.SetMode")) return E_FAIL;
  if (!isCapturePin(pin) || (mode & ~kFlipCaps) != 0) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(settingsLock_);
  videoControlMode_ = mode;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetMode(IPin* pin, LONG* mode) {
  if (faults_.fails("IAMVideoControl.GetMode")) return E_FAIL;
  if (!mode) return E_POINTER;
  if (!isCapturePin(pin)) return E_INVALIDARG;
  std::lock_guard<std::mutex> guard(settingsLock_);
  *mode = videoControlMode_;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetCurrentActualFrameRate(IPin* pin, LONGLONG* interval) {
  if (faults_.fails("IAMVideoControl.GetCurrentActualFrameRate")) return E_FAIL;
  if (!interval) return E_POINTER;
  if (!isCapturePin(pin)) return E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!capturePin_->isConnected()) return VFW_E_NOT_CONNECTED;
  const LONGLONG measured = measuredInterval_;
  if (state_ == State_Running && measured > 0) {
    *interval = measured;
  } else {
    CMediaType type(capturePin_->currentType());
    const REFERENCE_TIME* field = frameIntervalField(type);
    *interval = field ? *field : 0;
  }
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetMaxAvailableFrameRate(IPin* pin, LONG index, SIZE dimensions,
                                                     LONGLONG* interval) {
  if (faults_.fails("IAMVideoControl.GetMaxAvailableFrameRate")) return E_FAIL;
  if (!interval) return E_POINTER;
  const Format* format = formatAt(index);
  if (!isCapturePin(pin) || !format || !fitsFormat(dimensions, *format)) return E_INVALIDARG;
  *interval = format->caps.MinFrameInterval;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetFrameRateList(IPin* pin, LONG index, SIZE dimensions, LONG* count,
                                             LONGLONG** intervals) {
  if (faults_.fails("IAMVideoControl.GetFrameRateList")) return E_FAIL;
  if (!count) return E_POINTER;
  const Format* format = formatAt(index);
  if (!isCapturePin(pin) || !format || !fitsFormat(dimensions, *format)) return E_INVALIDARG;
  const std::vector<LONGLONG>& list = format->intervals;
  *count = static_cast<LONG>(list.size());
  if (!intervals) return S_OK;  // the caller asked for the count only
  *intervals = static_cast<LONGLONG*>(CoTaskMemAlloc(sizeof(LONGLONG) * list.size()));
  if (!*intervals) return E_OUTOFMEMORY;
  std::copy(list.begin(), list.end(), *intervals);
  return S_OK;
}

// ---------------------------------------------------------------------------
// IAMAnalogVideoDecoder

STDMETHODIMP CaptureFilter::get_AvailableTVFormats(LONG* standards) {
  if (faults_.fails("IAMAnalogVideoDecoder.get_AvailableTVFormats")) return E_FAIL;
  if (!standards) return E_POINTER;
  *standards = kStandards;
  return S_OK;
}

STDMETHODIMP CaptureFilter::put_TVFormat(LONG standard) {
  if (faults_.fails("IAMAnalogVideoDecoder.put_TVFormat")) return E_FAIL;
  // Exactly one of the available standards.
  if (standard == 0 || (standard & (standard - 1)) != 0 || (standard & kStandards) == 0) {
    return E_INVALIDARG;
  }
  std::lock_guard<std::mutex> guard(settingsLock_);
  tvFormat_ = standard;
  return S_OK;
}

STDMETHODIMP CaptureFilter::get_TVFormat(LONG* standard) {
  return readSetting("IAMAnalogVideoDecoder.get_TVFormat", tvFormat_, standard);
}

STDMETHODIMP CaptureFilter::get_HorizontalLocked(LONG* locked) {
  if (faults_.fails("IAMAnalogVideoDecoder.get_HorizontalLocked")) return E_FAIL;
  if (!locked) return E_POINTER;
  // Locked on a signal: some video input is routed to the decoder.
  *locked = crossbar_ && crossbar_->routedVideoType() != 0 ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CaptureFilter::put_VCRHorizontalLocking(LONG locking) {
  return writeSwitch("IAMAnalogVideoDecoder.put_VCRHorizontalLocking", &vcrLocking_, locking);
}

STDMETHODIMP CaptureFilter::get_VCRHorizontalLocking(LONG* locking) {
  return readSetting("IAMAnalogVideoDecoder.get_VCRHorizontalLocking", vcrLocking_, locking);
}

STDMETHODIMP CaptureFilter::get_NumberOfLines(LONG* lines) {
  if (faults_.fails("IAMAnalogVideoDecoder.get_NumberOfLines")) return E_FAIL;
  if (!lines) return E_POINTER;
  std::lock_guard<std::mutex> guard(settingsLock_);
  *lines = tvFormat_ == AnalogVideo_NTSC_M ? 525 : 625;
  return S_OK;
}

STDMETHODIMP CaptureFilter::put_OutputEnable(LONG enable) {
  return writeSwitch("IAMAnalogVideoDecoder.put_OutputEnable", &outputEnable_, enable);
}

STDMETHODIMP CaptureFilter::get_OutputEnable(LONG* enable) {
  return readSetting("IAMAnalogVideoDecoder.get_OutputEnable", outputEnable_, enable);
}

// ---------------------------------------------------------------------------
// IAMVfwCaptureDialogs

STDMETHODIMP CaptureFilter::HasDialog(int) {
  if (faults_.fails("IAMVfwCaptureDialogs.HasDialog")) return E_FAIL;
  return S_FALSE;
}

STDMETHODIMP CaptureFilter::ShowDialog(int, HWND) {
  if (faults_.fails("IAMVfwCaptureDialogs.ShowDialog")) return E_FAIL;
  return E_NOTIMPL;
}

STDMETHODIMP CaptureFilter::SendDriverMessage(int, int, LONG, LONG) {
  if (faults_.fails("IAMVfwCaptureDialogs.SendDriverMessage")) return E_FAIL;
  return E_NOTIMPL;
}

}  // namespace testcam
