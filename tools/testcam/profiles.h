#pragma once

// The devices of the Test Camera: their formats, frame rates and settings.

#include <kivo/mediatype.h>
#include <kivo/platform.h>

#include <vector>

namespace testcam {

// The I420 FOURCC subtype, which not every SDK's import library carries.
extern const GUID kSubtypeI420;

// One format of a capture pin: the media type offered, its capabilities and
// the frame intervals the device can deliver it at, fastest first.
struct Format {
  kivo::CMediaType type;
  VIDEO_STREAM_CONFIG_CAPS caps;
  std::vector<LONGLONG> intervals;
};

// A ranged setting of IAMVideoProcAmp or IAMCameraControl. Caps flags 0:
// the setting is absent and its calls answer E_NOTIMPL.
struct RangeSetting {
  long id;
  long minimum, maximum, step, defaultValue, capsFlags;
  long initialFlags;
};

struct DeviceProfile {
  const CLSID* clsid;
  const wchar_t* name;
  int number;  // the device number in its "DevicePath"
  std::vector<Format> formats;
  std::vector<RangeSetting> procAmp;        // empty: no IAMVideoProcAmp
  std::vector<RangeSetting> cameraControl;  // empty: no IAMCameraControl
  bool videoControl = false;
  bool analog = false;  // a TV card: analog video decoder, crossbar
  bool vfw = false;     // Video for Windows capture dialogs
};

// The working devices, in registration order.
const std::vector<DeviceProfile>& deviceProfiles();
const DeviceProfile* findProfile(REFCLSID clsid);

// What IAMStreamConfig::GetStreamCaps reports at each index: a position in
// the profile's formats, or -1 - k for malformed format k. With the
// malformed-caps fault, malformed and working formats alternate until either
// list ends; IAMVideoControl takes the same indexes.
std::vector<int> reportedFormats(size_t working, bool malformed);

// Header of a video format block (VIDEOINFOHEADER or VIDEOINFOHEADER2).
const BITMAPINFOHEADER* bitmapHeader(const AM_MEDIA_TYPE& type);
REFERENCE_TIME* frameIntervalField(AM_MEDIA_TYPE& type);

}  // namespace testcam
