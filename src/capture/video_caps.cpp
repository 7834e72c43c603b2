#include <kivo/mediatype.h>
#include <kivo/video_caps.h>

namespace kivo {

namespace {

// What a refused call left in its out-parameter is not a type it handed
// out: dropped unread, never freed.
void forgetUntrusted(MediaTypePtr& mediaType) { mediaType.release(); }

}  // namespace

VideoCaps::VideoCaps() : selectedCapID(-1) {}

VideoCaps::VideoCaps(const VideoCaps& other) : selectedCapID(-1) { copy(other); }

VideoCaps::~VideoCaps() {
  destroy();
  pin.Release();
}

void VideoCaps::copy(const VideoCaps& other) {
  if (this == &other) return;
  pin = other.pin;
  capabilities = other.capabilities;
  selectedCapID = other.selectedCapID;
}

void VideoCaps::destroy() { capabilities.clear(); }

const std::vector<VideoCapability>& VideoCaps::getCapabilityList() const { return capabilities; }

int VideoCaps::getNumberOfCapabilities() const { return static_cast<int>(capabilities.size()); }

int VideoCaps::getSelectedCapID() const { return selectedCapID; }

void VideoCaps::setSelectedCapID(int position) { selectedCapID = position; }

const VideoCapability* VideoCaps::getSelectedCapability() const {
  if (selectedCapID < 0 || selectedCapID >= getNumberOfCapabilities()) return nullptr;
  return &capabilities[static_cast<size_t>(selectedCapID)];
}

bool VideoCaps::isValidMedia(const AM_MEDIA_TYPE* mediaType) const {
  if (!mediaType || !IsEqualGUID(mediaType->formattype, FORMAT_VideoInfo) ||
      mediaType->cbFormat < sizeof(VIDEOINFOHEADER) || !mediaType->pbFormat)
    return false;
  // A picture without pixels cannot be captured.
  const BITMAPINFOHEADER& bitmap =
      reinterpret_cast<const VIDEOINFOHEADER*>(mediaType->pbFormat)->bmiHeader;
  return bitmap.biWidth > 0 && bitmap.biHeight != 0;
}

void VideoCaps::addCapability(const AM_MEDIA_TYPE* mediaType, int capabilityID,
                              const VIDEO_STREAM_CONFIG_CAPS* caps) {
  if (!isValidMedia(mediaType)) return;
  capabilities.push_back(VideoCapability(mediaType, capabilityID, caps));
}

void VideoCaps::initialize(const CComPtr<IPin>& newPin) {
  pin = newPin;
  if (!pin) return;

  CComPtr<IAMStreamConfig> config;
  if (pin.QueryInterface(&config) != S_OK || !config) {
    // No stream configuration: the pin's preferred media types.
    CComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(&types)) || !types) return;
    types->Reset();
    for (;;) {
      // A type handed out with the end of the list (S_FALSE) is still ours
      // to free.
      MediaTypePtr mediaType;
      const HRESULT hr = types->Next(1, &mediaType, nullptr);
      if (FAILED(hr)) forgetUntrusted(mediaType);
      if (hr != S_OK) break;
      addCapability(mediaType.get(), 0, nullptr);
    }
    return;
  }

  int count = 0;
  int size = 0;
  config->GetNumberOfCapabilities(&count, &size);
  if (count == 0) {
    // No capability list: the current format is the only one.
    MediaTypePtr mediaType;
    if (SUCCEEDED(config->GetFormat(&mediaType)))
      addCapability(mediaType.get(), 0, nullptr);
    else
      forgetUntrusted(mediaType);
  } else if (count >= 1 && size == static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS))) {
    for (int index = 0; index < count; ++index) {
      MediaTypePtr mediaType;
      VIDEO_STREAM_CONFIG_CAPS caps = {};
      if (SUCCEEDED(config->GetStreamCaps(index, &mediaType, reinterpret_cast<BYTE*>(&caps))))
        addCapability(mediaType.get(), index, &caps);
      else
        forgetUntrusted(mediaType);
    }
  }
}

}  // namespace kivo
