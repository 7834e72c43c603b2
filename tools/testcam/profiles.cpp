// The devices of the Test Camera: their formats, frame rates and settings,
// plus the small COM helpers the filter and the crossbar share.

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "testcam.h"

namespace testcam {

// {30323449-0000-0010-8000-00AA00389B71}
const GUID kSubtypeI420 = {
    0x30323449, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

namespace {

std::atomic<long> g_moduleCount{0};

constexpr LONGLONG k30fps = 333333;
constexpr LONGLONG k15fps = 666666;
constexpr LONGLONG k5fps = 2000000;
constexpr LONGLONG kNtscRate = 333667;
constexpr LONGLONG kPalRate = 400000;

struct FormatLayout {
  const GUID* subtype;
  DWORD compression;  // biCompression
  WORD bitCount;
  int width;
  int height;
  bool vih2;
  std::vector<LONGLONG> intervals;
};

long imageSize(const FormatLayout& layout) {
  const long w = layout.width;
  const long h = layout.height < 0 ? -layout.height : layout.height;
  if (layout.compression == BI_RGB) return ((w * layout.bitCount / 8 + 3) & ~3L) * h;
  if (layout.bitCount == 12) return w * h * 3 / 2;
  return w * h * layout.bitCount / 8;
}

Format makeFormat(const FormatLayout& layout, ULONG standards) {
  Format format;
  CMediaType& mt = format.type;
  mt.SetType(&MEDIATYPE_Video);
  mt.SetSubtype(layout.subtype);
  const long size = imageSize(layout);
  const bool compressed = *layout.subtype == MEDIASUBTYPE_MJPG;
  if (compressed) {
    mt.SetVariableSize();
    mt.lSampleSize = 0;
  } else {
    mt.SetSampleSize(size);
  }
  mt.SetTemporalCompression(FALSE);
  const LONGLONG interval = layout.intervals.front();
  BITMAPINFOHEADER* bmi = nullptr;
  if (layout.vih2) {
    mt.SetFormatType(&FORMAT_VideoInfo2);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER2*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
    vih->AvgTimePerFrame = interval;
    vih->dwBitRate = static_cast<DWORD>(size * 8LL * 10000000 / interval);
    vih->dwPictAspectRatioX = 4;
    vih->dwPictAspectRatioY = 3;
    bmi = &vih->bmiHeader;
  } else {
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    vih->AvgTimePerFrame = interval;
    vih->dwBitRate = static_cast<DWORD>(size * 8LL * 10000000 / interval);
    bmi = &vih->bmiHeader;
  }
  bmi->biSize = sizeof(BITMAPINFOHEADER);
  bmi->biWidth = layout.width;
  bmi->biHeight = layout.height;
  bmi->biPlanes = 1;
  bmi->biBitCount = layout.bitCount;
  bmi->biCompression = layout.compression;
  bmi->biSizeImage = static_cast<DWORD>(size);

  VIDEO_STREAM_CONFIG_CAPS& caps = format.caps;
  std::memset(&caps, 0, sizeof(caps));
  caps.guid = layout.vih2 ? FORMAT_VideoInfo2 : FORMAT_VideoInfo;
  caps.VideoStandard = standards;
  const SIZE frame = {layout.width, layout.height < 0 ? -layout.height : layout.height};
  caps.InputSize = frame;
  caps.MinCroppingSize = frame;
  caps.MaxCroppingSize = frame;
  caps.CropGranularityX = 1;
  caps.CropGranularityY = 1;
  caps.MinOutputSize = frame;
  caps.MaxOutputSize = frame;
  caps.OutputGranularityX = 1;
  caps.OutputGranularityY = 1;
  LONGLONG fastest = layout.intervals.front();
  LONGLONG slowest = layout.intervals.front();
  for (LONGLONG i : layout.intervals) {
    if (i < fastest) fastest = i;
    if (i > slowest) slowest = i;
  }
  caps.MinFrameInterval = fastest;
  caps.MaxFrameInterval = slowest;
  caps.MinBitsPerSecond = static_cast<LONG>(size * 8LL * 10000000 / slowest);
  caps.MaxBitsPerSecond = static_cast<LONG>(size * 8LL * 10000000 / fastest);
  format.intervals = layout.intervals;
  return format;
}

std::vector<Format> makeFormats(const std::vector<FormatLayout>& layouts, ULONG standards) {
  std::vector<Format> formats;
  for (const FormatLayout& layout : layouts) formats.push_back(makeFormat(layout, standards));
  return formats;
}

constexpr DWORD fourcc(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<BYTE>(a)) |
         (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
         (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) |
         (static_cast<DWORD>(static_cast<BYTE>(d)) << 24);
}

std::vector<DeviceProfile> buildProfiles() {
  const DWORD yuy2 = fourcc('Y', 'U', 'Y', '2');
  const DWORD i420 = fourcc('I', '4', '2', '0');
  const DWORD nv12 = fourcc('N', 'V', '1', '2');
  const DWORD mjpg = fourcc('M', 'J', 'P', 'G');
  const std::vector<LONGLONG> all = {k30fps, k15fps, k5fps};
  const std::vector<LONGLONG> big = {k30fps, k15fps};
  const std::vector<LONGLONG> huge = {k15fps, k5fps};

  std::vector<DeviceProfile> profiles;

  DeviceProfile usb;
  usb.personality = Personality::Usb;
  usb.clsid = &kUsbCameraClsid;
  usb.name = kUsbCameraName;
  usb.number = 0;
  usb.formats = makeFormats(
      {
          {&MEDIASUBTYPE_YUY2, yuy2, 16, 640, 480, false, big},
          {&MEDIASUBTYPE_YUY2, yuy2, 16, 640, 480, true, big},
          {&MEDIASUBTYPE_YUY2, yuy2, 16, 320, 240, false, all},
          {&MEDIASUBTYPE_YUY2, yuy2, 16, 160, 120, false, all},
          {&MEDIASUBTYPE_RGB24, BI_RGB, 24, 640, 480, false, big},
          {&MEDIASUBTYPE_RGB24, BI_RGB, 24, 160, 120, false, all},
          {&MEDIASUBTYPE_RGB32, BI_RGB, 32, 320, 240, false, all},
          {&kSubtypeI420, i420, 12, 320, 240, false, all},
          {&MEDIASUBTYPE_NV12, nv12, 12, 320, 240, false, all},
          {&MEDIASUBTYPE_MJPG, mjpg, 24, 1280, 720, false, huge},
      },
      AnalogVideo_None);
  usb.procAmp = {
      // id, min, max, step, default, caps, initial flags
      {VideoProcAmp_Brightness, 0, 255, 1, 128, 2, 2},
      {VideoProcAmp_Contrast, 0, 100, 1, 50, 3, 2},
      {VideoProcAmp_Hue, -180, 180, 1, 0, 2, 2},
      {VideoProcAmp_Saturation, 0, 200, 1, 100, 2, 2},
      {VideoProcAmp_Sharpness, 0, 7, 1, 3, 2, 2},
      // Caps 0: the setting is absent and its calls answer E_NOTIMPL.
      {VideoProcAmp_Gamma, 0, 0, 0, 0, 0, 0},
      {VideoProcAmp_ColorEnable, 0, 1, 1, 1, 2, 2},
      {VideoProcAmp_WhiteBalance, 2800, 6500, 10, 4600, 3, 1},
      {VideoProcAmp_BacklightCompensation, 0, 1, 1, 0, 3, 2},
      {VideoProcAmp_Gain, 0, 255, 1, 64, 1, 1},
  };
  usb.cameraControl = {
      {CameraControl_Zoom, 100, 400, 10, 100, 2, 2},
      {CameraControl_Exposure, -13, -1, 1, -6, 3, 1},
      {CameraControl_Focus, 0, 250, 5, 125, 3, 1},
  };
  usb.videoControl = true;
  usb.analog = false;
  usb.vfw = false;
  profiles.push_back(std::move(usb));

  const ULONG standards = AnalogVideo_NTSC_M | AnalogVideo_PAL_B | AnalogVideo_SECAM_B;
  DeviceProfile analog;
  analog.personality = Personality::Analog;
  analog.clsid = &kAnalogCameraClsid;
  analog.name = kAnalogCameraName;
  analog.number = 1;
  analog.formats = makeFormats(
      {
          {&MEDIASUBTYPE_YUY2, yuy2, 16, 720, 480, false, {kNtscRate, kPalRate}},
          {&MEDIASUBTYPE_YUY2, yuy2, 16, 640, 480, false, {kNtscRate, kPalRate}},
          {&MEDIASUBTYPE_RGB24, BI_RGB, 24, 640, 480, false, {kNtscRate, kPalRate}},
      },
      standards);
  analog.procAmp = {
      {VideoProcAmp_Brightness, 0, 255, 1, 128, 2, 2},
      {VideoProcAmp_Contrast, 0, 255, 1, 128, 2, 2},
      {VideoProcAmp_Hue, -128, 127, 1, 0, 2, 2},
      {VideoProcAmp_Saturation, 0, 255, 1, 128, 2, 2},
  };
  analog.videoControl = false;
  analog.analog = true;
  analog.vfw = false;
  profiles.push_back(std::move(analog));

  // A camera with one RGB24 320x240 format and no settings.
  auto simpleCamera = [&](const CLSID* clsid, const wchar_t* name, int number) {
    DeviceProfile camera;
    camera.personality = Personality::Dalsa;
    camera.clsid = clsid;
    camera.name = name;
    camera.number = number;
    camera.formats =
        makeFormats({{&MEDIASUBTYPE_RGB24, BI_RGB, 24, 320, 240, false, big}}, AnalogVideo_None);
    camera.videoControl = false;
    camera.analog = false;
    camera.vfw = false;
    return camera;
  };
  profiles.push_back(simpleCamera(&kDalsaCameraClsid, kDalsaCameraName, 3));

  DeviceProfile vfw;
  vfw.personality = Personality::Vfw;
  vfw.clsid = &kVfwCameraClsid;
  vfw.name = kVfwCameraName;
  vfw.number = 4;
  vfw.formats = makeFormats(
      {
          {&MEDIASUBTYPE_RGB24, BI_RGB, 24, 320, 240, false, big},
          {&MEDIASUBTYPE_YUY2, yuy2, 16, 160, 120, false, big},
      },
      AnalogVideo_None);
  vfw.videoControl = false;
  vfw.analog = false;
  vfw.vfw = true;
  profiles.push_back(std::move(vfw));

  // Two simple cameras for hosts' name handling: a friendly name that is
  // not ASCII, and an empty "DevicePath".
  profiles.push_back(simpleCamera(&kNonAsciiCameraClsid, kNonAsciiCameraName, 5));
  profiles.push_back(simpleCamera(&kNoPathCameraClsid, kNoPathCameraName, 6));
  return profiles;
}

}  // namespace

void moduleAddRef() { ++g_moduleCount; }
void moduleRelease() { --g_moduleCount; }
long moduleCount() { return g_moduleCount; }

const std::vector<DeviceProfile>& deviceProfiles() {
  static const std::vector<DeviceProfile> profiles = buildProfiles();
  return profiles;
}

const DeviceProfile* findProfile(REFCLSID clsid) {
  for (const DeviceProfile& profile : deviceProfiles()) {
    if (*profile.clsid == clsid) return &profile;
  }
  return nullptr;
}

Faults Faults::fromEnvironment() {
  Faults faults;
  char buffer[1024];
  DWORD length = GetEnvironmentVariableA("KIVO_TESTCAM_LOSE_AFTER", buffer, sizeof(buffer));
  if (length > 0 && length < sizeof(buffer)) {
    char* end = nullptr;
    const long n = std::strtol(buffer, &end, 10);
    if (end != buffer && n >= 0) faults.loseAfter = n;
  }
  length = GetEnvironmentVariableA("KIVO_TESTCAM_MALFORMED_CAPS", buffer, sizeof(buffer));
  if (length > 0 && length < sizeof(buffer)) faults.malformedCaps = std::strcmp(buffer, "0") != 0;
  length = GetEnvironmentVariableA("KIVO_TESTCAM_EXCLUSIVE", buffer, sizeof(buffer));
  if (length > 0 && length < sizeof(buffer)) faults.exclusive = std::strcmp(buffer, "0") != 0;
  length = GetEnvironmentVariableA("KIVO_TESTCAM_FAIL", buffer, sizeof(buffer));
  if (length > 0 && length < sizeof(buffer)) {
    std::string list(buffer, length);
    size_t start = 0;
    while (start <= list.size()) {
      size_t comma = list.find(',', start);
      if (comma == std::string::npos) comma = list.size();
      std::string name = list.substr(start, comma - start);
      while (!name.empty() && name.front() == ' ') name.erase(name.begin());
      while (!name.empty() && name.back() == ' ') name.pop_back();
      if (!name.empty()) faults.failing.insert(name);
      start = comma + 1;
    }
  }
  return faults;
}

const BITMAPINFOHEADER* bitmapHeader(const AM_MEDIA_TYPE& type) {
  if (!type.pbFormat) return nullptr;
  if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    return &reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
  }
  if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    return &reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat)->bmiHeader;
  }
  return nullptr;
}

REFERENCE_TIME* frameIntervalField(AM_MEDIA_TYPE& type) {
  if (!type.pbFormat) return nullptr;
  if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    return &reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame;
  }
  if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    return &reinterpret_cast<VIDEOINFOHEADER2*>(type.pbFormat)->AvgTimePerFrame;
  }
  return nullptr;
}

HRESULT copyWideString(const wchar_t* text, LPWSTR* result) {
  if (!result) return E_POINTER;
  const size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
  *result = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*result) return E_OUTOFMEMORY;
  std::memcpy(*result, text, bytes);
  return S_OK;
}

namespace {

// Enumerates a snapshot of pins; holds a reference on the pins' owner so
// that the pins outlive the enumerator.
class PinEnum final : public IEnumPins {
 public:
  PinEnum(const std::vector<IPin*>& pins, IUnknown* owner, size_t position)
      : pins_(pins), owner_(owner), position_(position) {
    moduleAddRef();
  }
  ~PinEnum() { moduleRelease(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumPins) {
      *result = static_cast<IEnumPins*>(this);
      AddRef();
      return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (!pins) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG n = 0;
    while (n < count && position_ < pins_.size()) {
      pins[n] = pins_[position_++];
      pins[n]->AddRef();
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    if (position_ + count > pins_.size()) {
      position_ = pins_.size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumPins** result) override {
    if (!result) return E_POINTER;
    *result = new (std::nothrow) PinEnum(pins_, owner_, position_);
    return *result ? S_OK : E_OUTOFMEMORY;
  }

 private:
  std::atomic<ULONG> refs_{1};
  std::vector<IPin*> pins_;
  CComPtr<IUnknown> owner_;
  size_t position_;
};

class MediaTypeEnum final : public IEnumMediaTypes {
 public:
  MediaTypeEnum(const std::vector<CMediaType>& types, size_t position)
      : types_(types), position_(position) {
    moduleAddRef();
  }
  ~MediaTypeEnum() { moduleRelease(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumMediaTypes) {
      *result = static_cast<IEnumMediaTypes*>(this);
      AddRef();
      return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (!types) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG n = 0;
    while (n < count && position_ < types_.size()) {
      types[n] = kivo::CreateMediaType(&types_[position_]);
      if (!types[n]) break;
      ++position_;
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    if (position_ + count > types_.size()) {
      position_ = types_.size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMediaTypes** result) override {
    if (!result) return E_POINTER;
    *result = new (std::nothrow) MediaTypeEnum(types_, position_);
    return *result ? S_OK : E_OUTOFMEMORY;
  }

 private:
  std::atomic<ULONG> refs_{1};
  std::vector<CMediaType> types_;
  size_t position_;
};

}  // namespace

HRESULT createPinEnum(const std::vector<IPin*>& pins, IUnknown* owner, IEnumPins** result) {
  if (!result) return E_POINTER;
  *result = new (std::nothrow) PinEnum(pins, owner, 0);
  return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT createMediaTypeEnum(const std::vector<CMediaType>& types, IEnumMediaTypes** result) {
  if (!result) return E_POINTER;
  *result = new (std::nothrow) MediaTypeEnum(types, 0);
  return *result ? S_OK : E_OUTOFMEMORY;
}

}  // namespace testcam
