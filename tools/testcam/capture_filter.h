#pragma once

// The capture filter of every Test Camera device: its state, its pins, its
// configuration interfaces (capture_filter_controls.cpp) and the streaming
// thread (capture_filter_streaming.cpp).

#include <kivo/mediatype.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "capture_pin.h"
#include "crossbar.h"
#include "faults.h"
#include "filter_base.h"
#include "pattern.h"
#include "profiles.h"
#include "settings.h"

namespace testcam {

class CaptureFilter final
    : public FilterBase<IAMFilterMiscFlags, IAMVideoControl, IAMAnalogVideoDecoder,
                        IAMVfwCaptureDialogs, IPersistPropertyBag> {
 public:
  static HRESULT create(const DeviceProfile& profile, REFIID iid, void** result);

  // IPersistPropertyBag: the device needs nothing from its moniker's bag.
  STDMETHODIMP InitNew() override { return S_OK; }
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

  // IMediaFilter, IBaseFilter: a live source, streaming from pause to stop.
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP EnumPins(IEnumPins** result) override;

  // IAMFilterMiscFlags
  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

  // IAMVideoControl
  STDMETHODIMP GetCaps(IPin* pin, LONG* flags) override;
  STDMETHODIMP SetMode(IPin* pin, LONG mode) override;
  STDMETHODIMP GetMode(IPin* pin, LONG* mode) override;
  STDMETHODIMP GetCurrentActualFrameRate(IPin* pin, LONGLONG* interval) override;
  STDMETHODIMP GetMaxAvailableFrameRate(IPin* pin, LONG index, SIZE dimensions,
                                        LONGLONG* interval) override;
  STDMETHODIMP GetFrameRateList(IPin* pin, LONG index, SIZE dimensions, LONG* count,
                                LONGLONG** intervals) override;

  // IAMAnalogVideoDecoder
  STDMETHODIMP get_AvailableTVFormats(LONG* standards) override;
  STDMETHODIMP put_TVFormat(LONG standard) override;
  STDMETHODIMP get_TVFormat(LONG* standard) override;
  STDMETHODIMP get_HorizontalLocked(LONG* locked) override;
  STDMETHODIMP put_VCRHorizontalLocking(LONG locking) override;
  STDMETHODIMP get_VCRHorizontalLocking(LONG* locking) override;
  STDMETHODIMP get_NumberOfLines(LONG* lines) override;
  STDMETHODIMP put_OutputEnable(LONG enable) override;
  STDMETHODIMP get_OutputEnable(LONG* enable) override;

  // IAMVfwCaptureDialogs: the driver has no dialog to show.
  STDMETHODIMP HasDialog(int dialog) override;
  STDMETHODIMP ShowDialog(int dialog, HWND window) override;
  STDMETHODIMP SendDriverMessage(int dialog, int message, LONG data1, LONG data2) override;

  // For the pins.
  const DeviceProfile& profile() const { return profile_; }
  const Faults& faults() const { return faults_; }
  // What GetStreamCaps reports at each index (see reportedFormats).
  const std::vector<int>& capsOrder() const { return capsOrder_; }
  std::recursive_mutex& lock() { return lock_; }
  FILTER_STATE state() const { return state_; }
  Crossbar* crossbar() { return crossbar_; }

 protected:
  std::vector<IPin*> pins() override;
  // Each device offers the interfaces of its kind of hardware only.
  void* interfaceFor(REFIID iid) override;

 private:
  using ProcAmp = SettingsPart<IAMVideoProcAmp>;
  using CameraControl = SettingsPart<IAMCameraControl>;

  explicit CaptureFilter(const DeviceProfile& profile);
  ~CaptureFilter() override;

  bool isCapturePin(IPin* pin) const;
  // The profile's format at an index of capsOrder; null for a malformed
  // format or an index outside the list.
  const Format* formatAt(LONG index) const;
  // With the exclusive fault, takes the device before a stream starts:
  // HRESULT_FROM_WIN32(ERROR_BUSY) while another filter streams from it.
  HRESULT claimForStream();
  void releaseClaim();
  // With both locks held: leaving stopped, takes the device and starts the
  // streaming thread, which delivers nothing until the filter runs.
  HRESULT startIfStopped();
  HRESULT readSetting(const char* method, const long& setting, LONG* value) const;
  HRESULT writeSwitch(const char* method, long* setting, LONG value);

  void startStreaming();
  void stopStreaming();
  void streamLoop();
  void deliverFrame();
  void stampSample(IMediaSample* sample);
  PictureSettings pictureSettings() const;
  void signalDeviceLost();

  const DeviceProfile& profile_;
  const Faults faults_;
  const std::vector<int> capsOrder_;
  std::mutex transitionLock_;  // one state change at a time; held while joining

  std::unique_ptr<CapturePin> capturePin_;
  std::unique_ptr<AnalogInputPin> analogPin_;
  CComPtr<Crossbar> crossbar_;
  std::unique_ptr<ProcAmp> procAmp_;
  std::unique_ptr<CameraControl> cameraControl_;

  // Settings read by the streaming thread.
  mutable std::mutex settingsLock_;
  long videoControlMode_ = 0;
  long tvFormat_ = AnalogVideo_NTSC_M;
  long vcrLocking_ = 0;
  long outputEnable_ = 1;

  // Streaming. The stream* members are set before the thread starts and
  // released after it ended; the thread reads them freely.
  CMediaType streamType_;
  REFERENCE_TIME streamInterval_ = 0;
  CComPtr<IMemAllocator> streamAllocator_;
  CComPtr<IMemInputPin> streamTransport_;
  std::mutex timingLock_;
  REFERENCE_TIME streamStart_ = 0;
  CComPtr<IReferenceClock> streamClock_;
  std::atomic<bool> restartTiming_{false};
  bool segmentStarted_ = false;   // streaming thread only
  REFERENCE_TIME lastStart_ = 0;  // streaming thread only
  std::thread thread_;
  HANDLE quitEvent_ = nullptr;
  HANDLE wakeEvent_ = nullptr;
  std::atomic<bool> running_{false};
  std::atomic<bool> lost_{false};
  bool claimed_ = false;  // this filter holds its exclusive device (transitions only)
  std::atomic<LONGLONG> measuredInterval_{0};
  uint32_t frameCounter_ = 0;   // streaming thread only
  bool sendMediaType_ = false;  // streaming thread only
  LONGLONG nextDue_ = 0;        // streaming thread only, in counter ticks
  LONGLONG lastDelivery_ = 0;   // streaming thread only
  LONGLONG ticksPerSecond_ = 1;
};

}  // namespace testcam
