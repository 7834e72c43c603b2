#pragma once

// Internal declarations of the KIVO Test Camera: device profiles, the capture
// filter with its pins, the crossbar of the analog device and the COM
// plumbing they share.

#include <kivo/comptr.h>
#include <kivo/mediatype.h>
#include <kivo/platform.h>

#include <dvdmedia.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "testcam_ids.h"

namespace testcam {

using kivo::CComPtr;
using kivo::CMediaType;

// Count of live objects and server locks: the DLL can unload at zero.
void moduleAddRef();
void moduleRelease();
long moduleCount();

// The I420 FOURCC subtype, which not every SDK's import library carries.
extern const GUID kSubtypeI420;

// Faults a test switches on through the environment.
struct Faults {
  std::set<std::string> failing;
  long loseAfter = -1;         // frames before the device is lost; -1 never
  bool malformedCaps = false;  // GetStreamCaps also reports broken formats
  bool exclusive = false;      // one stream at a time per device

  static Faults fromEnvironment();
  bool fails(const char* method) const { return !failing.empty() && failing.count(method) != 0; }
};

// One format of a capture pin: the media type offered, its capabilities and
// the frame intervals the device can deliver it at, fastest first.
struct Format {
  CMediaType type;
  VIDEO_STREAM_CONFIG_CAPS caps;
  std::vector<LONGLONG> intervals;
};

// A ranged setting of IAMVideoProcAmp or IAMCameraControl.
struct RangeSetting {
  long id;
  long minimum, maximum, step, defaultValue, capsFlags;
  long initialFlags;
};

enum class Personality { Usb, Analog, Vfw, Dalsa };

struct DeviceProfile {
  Personality personality;
  const CLSID* clsid;
  const wchar_t* name;
  int number;  // the device number in its "DevicePath"
  std::vector<Format> formats;
  std::vector<RangeSetting> procAmp;        // empty: no IAMVideoProcAmp
  std::vector<RangeSetting> cameraControl;  // empty: no IAMCameraControl
  bool videoControl;
  bool analog;
  bool vfw;
};

// What IAMStreamConfig::GetStreamCaps reports at each index: a position in
// the profile's formats, or -1 - k for malformed format k. With the
// malformed-caps fault, malformed and working formats alternate until either
// list ends; IAMVideoControl takes the same indexes.
std::vector<int> reportedFormats(size_t working, bool malformed);

// The working devices, in registration order.
const std::vector<DeviceProfile>& deviceProfiles();
const DeviceProfile* findProfile(REFCLSID clsid);

// Header of a video format block (VIDEOINFOHEADER or VIDEOINFOHEADER2).
const BITMAPINFOHEADER* bitmapHeader(const AM_MEDIA_TYPE& type);
REFERENCE_TIME* frameIntervalField(AM_MEDIA_TYPE& type);

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
long frameSize(const AM_MEDIA_TYPE& type);

// A reference-counted enumerator over a snapshot of pins or media types.
HRESULT createPinEnum(const std::vector<IPin*>& pins, IUnknown* owner, IEnumPins** result);
HRESULT createMediaTypeEnum(const std::vector<CMediaType>& types, IEnumMediaTypes** result);

HRESULT copyWideString(const wchar_t* text, LPWSTR* result);

class CaptureFilter;
class Crossbar;

// The capture output pin of every device.
class CapturePin : public IPin, public IAMStreamConfig, public IKsPropertySet {
 public:
  explicit CapturePin(CaptureFilter* filter);
  ~CapturePin();

  // IUnknown: the pin lives as long as its filter.
  STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPin
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** result) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // IAMStreamConfig
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

  // IKsPropertySet
  STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data,
                   DWORD dataSize) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data,
                   DWORD dataSize, DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  // Called by the filter, with its lock held.
  bool isConnected() const { return peer_ != nullptr; }
  HRESULT activate();  // stopped to paused: commit the allocator
  void deactivate();   // to stopped: decommit the allocator
  const CMediaType& currentType() const { return current_; }
  CComPtr<IMemAllocator> allocator() const { return allocator_; }
  CComPtr<IMemInputPin> transport() const { return transport_; }
  // The format index the current type came from.
  int currentIndex() const { return currentIndex_; }

 private:
  // The index of the listed format that `type` asks for, or -1; `accepted`
  // receives the type the pin would deliver.
  int matchFormat(const AM_MEDIA_TYPE& type, CMediaType* accepted) const;
  HRESULT tryConnection(IPin* receivePin, const CMediaType& type);
  HRESULT negotiateAllocator(IPin* receivePin);
  std::vector<CMediaType> offeredTypes() const;

  CaptureFilter* filter_;
  CComPtr<IPin> peer_;
  CComPtr<IMemInputPin> transport_;
  CComPtr<IMemAllocator> allocator_;
  CMediaType current_;  // the format set (or the default), and the connection's type
  int currentIndex_ = 0;
  bool formatSet_ = false;
};

// The analog video input pin of the TV card, wired to its crossbar.
class AnalogInputPin : public IPin, public IKsPropertySet {
 public:
  explicit AnalogInputPin(CaptureFilter* filter) : filter_(filter) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** result) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP EndOfStream() override { return S_OK; }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data,
                   DWORD dataSize) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data,
                   DWORD dataSize, DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

 private:
  CaptureFilter* filter_;
};

// Values and control flags of a set of ranged settings.
class SettingTable {
 public:
  SettingTable(const std::vector<RangeSetting>& settings, HRESULT absentResult);
  HRESULT getRange(long id, long* minimum, long* maximum, long* step, long* defaultValue,
                   long* capsFlags) const;
  HRESULT get(long id, long* value, long* flags) const;
  HRESULT set(long id, long value, long flags);
  long valueOf(long id, long fallback) const;

 private:
  struct Entry {
    RangeSetting setting;
    long value;
    long flags;
  };
  const Entry* find(long id) const;
  std::vector<Entry> entries_;
  HRESULT absentResult_;
  mutable std::mutex mutex_;
};

class CaptureFilter final : public IBaseFilter,
                            public IAMFilterMiscFlags,
                            public IAMVideoControl,
                            public IAMAnalogVideoDecoder,
                            public IAMVfwCaptureDialogs,
                            public IPersistPropertyBag {
 public:
  static HRESULT create(const DeviceProfile& profile, REFIID iid, void** result);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPersist, IPersistPropertyBag
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP InitNew() override { return S_OK; }
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

  // IMediaFilter, IBaseFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  STDMETHODIMP EnumPins(IEnumPins** result) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

  // IAMFilterMiscFlags
  STDMETHODIMP_(ULONG) GetMiscFlags() override;

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

  // IAMVfwCaptureDialogs
  STDMETHODIMP HasDialog(int dialog) override;
  STDMETHODIMP ShowDialog(int dialog, HWND window) override;
  STDMETHODIMP SendDriverMessage(int dialog, int message, LONG data1, LONG data2) override;

  // For the pins and the parts.
  const DeviceProfile& profile() const { return profile_; }
  const Faults& faults() const { return faults_; }
  // The profile's format at an index of the reported format list; -1 for a
  // malformed format or an index outside the list.
  int formatAt(LONG index) const;
  // With the exclusive fault, takes the device before a stream starts:
  // HRESULT_FROM_WIN32(ERROR_BUSY) while another filter streams from it.
  HRESULT claimForStream();
  std::recursive_mutex& lock() { return lock_; }
  FILTER_STATE state() const { return state_; }
  CapturePin& capturePin() { return *capturePin_; }
  AnalogInputPin* analogPin() { return analogPin_.get(); }
  Crossbar* crossbar() { return crossbar_; }
  bool isCapturePin(IPin* pin) const;

 private:
  class ProcAmpPart : public IAMVideoProcAmp {
   public:
    ProcAmpPart(CaptureFilter* filter, const std::vector<RangeSetting>& settings)
        : filter_(filter), table(settings, E_PROP_ID_UNSUPPORTED) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
      return filter_->QueryInterface(iid, result);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return filter_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return filter_->Release(); }
    STDMETHODIMP GetRange(LONG id, LONG* minimum, LONG* maximum, LONG* step, LONG* defaultValue,
                          LONG* capsFlags) override;
    STDMETHODIMP Set(LONG id, LONG value, LONG flags) override;
    STDMETHODIMP Get(LONG id, LONG* value, LONG* flags) override;
    CaptureFilter* filter_;
    SettingTable table;
  };
  class CameraControlPart : public IAMCameraControl {
   public:
    CameraControlPart(CaptureFilter* filter, const std::vector<RangeSetting>& settings)
        : filter_(filter), table(settings, E_PROP_ID_UNSUPPORTED) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
      return filter_->QueryInterface(iid, result);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return filter_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return filter_->Release(); }
    STDMETHODIMP GetRange(LONG id, LONG* minimum, LONG* maximum, LONG* step, LONG* defaultValue,
                          LONG* capsFlags) override;
    STDMETHODIMP Set(LONG id, LONG value, LONG flags) override;
    STDMETHODIMP Get(LONG id, LONG* value, LONG* flags) override;
    CaptureFilter* filter_;
    SettingTable table;
  };

  explicit CaptureFilter(const DeviceProfile& profile);
  ~CaptureFilter();

  void startStreaming();
  void stopStreaming();
  void streamLoop();
  void deliverFrame();
  PictureSettings pictureSettings() const;
  void signalDeviceLost();

  std::atomic<ULONG> refs_{1};
  const DeviceProfile& profile_;
  Faults faults_;
  std::mutex transitionLock_;  // one state change at a time; held while joining
  std::recursive_mutex lock_;  // state, connection and format; never held while joining
  FILTER_STATE state_ = State_Stopped;
  CComPtr<IReferenceClock> clock_;
  std::wstring name_;

  std::mutex graphLock_;
  IFilterGraph* graph_ = nullptr;  // weak: the graph owns its filters

  std::unique_ptr<CapturePin> capturePin_;
  std::unique_ptr<AnalogInputPin> analogPin_;
  Crossbar* crossbar_ = nullptr;  // owned reference
  std::unique_ptr<ProcAmpPart> procAmp_;
  std::unique_ptr<CameraControlPart> cameraControl_;

  // Settings read by the streaming thread.
  mutable std::mutex settingsLock_;
  long videoControlMode_ = 0;
  long tvFormat_ = AnalogVideo_NTSC_M;
  long vcrLocking_ = 0;
  long outputEnable_ = 1;

  // Streaming. The stream* members are set before the thread starts and
  // released after it ended; the thread reads them freely.
  CMediaType streamType_;
  REFERENCE_TIME streamInterval_ = 333333;
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

// The crossbar of the analog device.
class Crossbar final : public IBaseFilter, public IAMCrossbar {
 public:
  Crossbar(const Faults& faults);

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  STDMETHODIMP EnumPins(IEnumPins** result) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

  STDMETHODIMP get_PinCounts(LONG* outputs, LONG* inputs) override;
  STDMETHODIMP CanRoute(LONG output, LONG input) override;
  STDMETHODIMP Route(LONG output, LONG input) override;
  STDMETHODIMP get_IsRoutedTo(LONG output, LONG* input) override;
  STDMETHODIMP get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) override;

  // The device's analog input, which the video decoder output feeds; null
  // once the device is gone.
  void wire(IPin* decoderInput);
  IPin* videoDecoderOutput();
  // The physical type routed to the video decoder output, 0 when none.
  long routedVideoType() const;

  class Pin;

 private:
  ~Crossbar();
  friend class Pin;

  std::atomic<ULONG> refs_{1};
  Faults faults_;
  mutable std::mutex lock_;
  std::vector<std::unique_ptr<Pin>> pins_;  // inputs first, then outputs
  long routes_[2];                          // input routed to each output, -1 none
  IPin* decoderInput_ = nullptr;            // weak
  IFilterGraph* graph_ = nullptr;           // weak
  std::wstring name_;
  FILTER_STATE state_ = State_Stopped;
};

HRESULT createCrossbar(const Faults& faults, Crossbar** result);

}  // namespace testcam
