#include "profiles.h"

#include <kivo/util.h>

#include <dvdmedia.h>

#include <algorithm>
#include <cstring>

#include "testcam_ids.h"

namespace testcam {

// {30323449-0000-0010-8000-00AA00389B71}
const GUID kSubtypeI420 = {
    0x30323449, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

namespace {

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

LONGLONG bitsPerSecond(long frameBytes, LONGLONG interval) {
  return frameBytes * 8LL * kivo::util::kUnitsPerSecond / interval;
}

// Gives `type` a zeroed format block of type `Header` (VIDEOINFOHEADER or
// VIDEOINFOHEADER2) with the frame interval and bit rate set.
template <class Header>
Header* allocateHeader(kivo::CMediaType& type, const GUID& formatType, LONGLONG interval,
                       long frameBytes) {
  type.SetFormatType(&formatType);
  auto* header = reinterpret_cast<Header*>(type.AllocFormatBuffer(sizeof(Header)));
  header->AvgTimePerFrame = interval;
  header->dwBitRate = static_cast<DWORD>(bitsPerSecond(frameBytes, interval));
  return header;
}

// The media type of a format, at its fastest frame rate.
kivo::CMediaType makeType(const FormatLayout& layout) {
  kivo::CMediaType type;
  type.SetType(&MEDIATYPE_Video);
  type.SetSubtype(layout.subtype);
  const long size = imageSize(layout);
  if (*layout.subtype == MEDIASUBTYPE_MJPG) {
    type.SetVariableSize();
    type.lSampleSize = 0;
  } else {
    type.SetSampleSize(size);
  }
  type.SetTemporalCompression(FALSE);
  const LONGLONG interval = layout.intervals.front();
  BITMAPINFOHEADER* bmi = nullptr;
  if (layout.vih2) {
    auto* vih = allocateHeader<VIDEOINFOHEADER2>(type, FORMAT_VideoInfo2, interval, size);
    vih->dwPictAspectRatioX = 4;
    vih->dwPictAspectRatioY = 3;
    bmi = &vih->bmiHeader;
  } else {
    bmi = &allocateHeader<VIDEOINFOHEADER>(type, FORMAT_VideoInfo, interval, size)->bmiHeader;
  }
  bmi->biSize = sizeof(BITMAPINFOHEADER);
  bmi->biWidth = layout.width;
  bmi->biHeight = layout.height;
  bmi->biPlanes = 1;
  bmi->biBitCount = layout.bitCount;
  bmi->biCompression = layout.compression;
  bmi->biSizeImage = static_cast<DWORD>(size);
  return type;
}

// The capabilities of a format: one size, and the range of its frame rates.
VIDEO_STREAM_CONFIG_CAPS makeCaps(const FormatLayout& layout, ULONG standards) {
  VIDEO_STREAM_CONFIG_CAPS caps;
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
  const auto range = std::minmax_element(layout.intervals.begin(), layout.intervals.end());
  caps.MinFrameInterval = *range.first;
  caps.MaxFrameInterval = *range.second;
  const long size = imageSize(layout);
  caps.MinBitsPerSecond = static_cast<LONG>(bitsPerSecond(size, caps.MaxFrameInterval));
  caps.MaxBitsPerSecond = static_cast<LONG>(bitsPerSecond(size, caps.MinFrameInterval));
  return caps;
}

std::vector<Format> makeFormats(const std::vector<FormatLayout>& layouts, ULONG standards) {
  std::vector<Format> formats;
  for (const FormatLayout& layout : layouts) {
    formats.push_back({makeType(layout), makeCaps(layout, standards), layout.intervals});
  }
  return formats;
}
constexpr DWORD fourcc(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<BYTE>(a)) |
         (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
         (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) |
         (static_cast<DWORD>(static_cast<BYTE>(d)) << 24);
}

DeviceProfile device(const CLSID* clsid, const wchar_t* name, int number) {
  DeviceProfile profile;
  profile.clsid = clsid;
  profile.name = name;
  profile.number = number;
  return profile;
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

  DeviceProfile usb = device(&kUsbCameraClsid, kUsbCameraName, 0);
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
  profiles.push_back(std::move(usb));

  const ULONG standards = AnalogVideo_NTSC_M | AnalogVideo_PAL_B | AnalogVideo_SECAM_B;
  DeviceProfile analog = device(&kAnalogCameraClsid, kAnalogCameraName, 1);
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
  analog.analog = true;
  profiles.push_back(std::move(analog));

  // A camera with one RGB24 320x240 format and no settings.
  auto simpleCamera = [&](const CLSID* clsid, const wchar_t* name, int number) {
    DeviceProfile camera = device(clsid, name, number);
    camera.formats =
        makeFormats({{&MEDIASUBTYPE_RGB24, BI_RGB, 24, 320, 240, false, big}}, AnalogVideo_None);
    return camera;
  };
  profiles.push_back(simpleCamera(&kDalsaCameraClsid, kDalsaCameraName, 3));

  DeviceProfile vfw = device(&kVfwCameraClsid, kVfwCameraName, 4);
  vfw.formats = makeFormats(
      {
          {&MEDIASUBTYPE_RGB24, BI_RGB, 24, 320, 240, false, big},
          {&MEDIASUBTYPE_YUY2, yuy2, 16, 160, 120, false, big},
      },
      AnalogVideo_None);
  vfw.vfw = true;
  profiles.push_back(std::move(vfw));

  // Two simple cameras for hosts' name handling: a friendly name that is
  // not ASCII, and an empty "DevicePath".
  profiles.push_back(simpleCamera(&kNonAsciiCameraClsid, kNonAsciiCameraName, 5));
  profiles.push_back(simpleCamera(&kNoPathCameraClsid, kNoPathCameraName, 6));
  return profiles;
}

}  // namespace

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

std::vector<int> reportedFormats(size_t working, bool malformed) {
  std::vector<int> order;
  const size_t broken = malformed ? static_cast<size_t>(kMalformedCapsCount) : 0;
  for (size_t i = 0; i < working || i < broken; ++i) {
    if (i < broken) order.push_back(-1 - static_cast<int>(i));
    if (i < working) order.push_back(static_cast<int>(i));
  }
  return order;
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

}  // namespace testcam
