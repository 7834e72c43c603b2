#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>

#include "filters/device_enumerator.h"
#include "foundation/fault_guard.h"
#include "foundation/text.h"

#include <cstring>
#include <memory>
#include <string>

namespace kivo {

namespace detail {

namespace {
HRESULT createSystemDeviceEnum(ICreateDevEnum** enumerator) {
  return CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_ALL, IID_ICreateDevEnum,
                          reinterpret_cast<void**>(enumerator));
}
}  // namespace

DeviceEnumeratorFactory createDeviceEnumerator = &createSystemDeviceEnum;

}  // namespace detail

const int FilterEnums::AUDIO_CODEC_CLASS;
const int FilterEnums::VIDEO_CODEC_CLASS;
const int FilterEnums::AUDIO_INPUT_CLASS;
const int FilterEnums::VIDEO_INPUT_CLASS;

const char* const FilterEnums::UNSUPPORTED_DEVICE_ARRAY[] = {
    "Coreco Imaging Video Source",
    "DALSA Imaging Video Source",
    "Mightex_SSClassicSource Filter",
    nullptr,
};

namespace {

// The friendly name of a device's property bag, as UTF-8; false when the
// storage cannot be bound or holds no name.
bool readFriendlyName(IMoniker* moniker, std::string& name) {
  CComPtr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                    reinterpret_cast<void**>(&bag))) ||
      !bag)
    return false;
  VARIANT value;
  VariantInit(&value);
  const bool read = SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR;
  if (read) name = toUtf8(value.bstrVal);
  VariantClear(&value);
  return read;
}

}  // namespace

FilterEnums::FilterEnums() {
  try {
    init();
  } catch (...) {
    // Only an allocation failure gets here; entries built so far go with it.
    clear();
    throw;
  }
}

FilterEnums::~FilterEnums() { clear(); }

const std::vector<Filter*>& FilterEnums::getVideoDevices() const { return videoDevices; }

const std::vector<Filter*>& FilterEnums::getAudioDevices() const { return audioDevices; }

const std::vector<Filter*>& FilterEnums::getVideoCodecs() const { return videoCodecs; }

const std::vector<Filter*>& FilterEnums::getAudioCodecs() const { return audioCodecs; }

void FilterEnums::reset() {
  clear();
  try {
    init();
  } catch (...) {
    clear();
    throw;
  }
}

void FilterEnums::init() { init(videoDevices, VIDEO_INPUT_CLASS); }

void FilterEnums::init(std::vector<Filter*>& list, int category) {
  const GUID* categoryId = &CLSID_VideoInputDeviceCategory;
  DWORD flags = 0;
  switch (category) {
    case AUDIO_CODEC_CLASS:
      categoryId = &CLSID_AudioCompressorCategory;
      flags = CDEF_DEVMON_CMGR_DEVICE;
      break;
    case VIDEO_CODEC_CLASS:
      categoryId = &CLSID_VideoCompressorCategory;
      flags = CDEF_DEVMON_CMGR_DEVICE;
      break;
    case AUDIO_INPUT_CLASS:
      categoryId = &CLSID_AudioInputDeviceCategory;
      break;
    default:
      break;
  }

  CComPtr<ICreateDevEnum> devices;
  if (FAILED(detail::createDeviceEnumerator(&devices)) || !devices) return;
  CComPtr<IEnumMoniker> monikers;
  // An empty category answers S_FALSE and no enumerator; only the
  // enumerator's presence matters.
  devices->CreateClassEnumerator(*categoryId, &monikers, flags);
  if (!monikers) return;
  monikers->Reset();
  CComPtr<IMoniker> moniker;
  while (monikers->Next(1, &moniker, nullptr) == S_OK) {
    if (!moniker) break;  // a broken enumerator; stop rather than spin
    appendFilter(list, moniker, category);
    moniker.Release();
  }
}

void FilterEnums::appendFilter(std::vector<Filter*>& list, const CComPtr<IMoniker>& moniker,
                               const int& category) {
  if (!moniker) return;
  std::string name;
  if (!readFriendlyName(moniker, name)) return;
  if (isUnsupportedDevice(name.c_str())) return;
  CComPtr<IBindCtx> bindCtx;
  if (FAILED(CreateBindCtx(0, &bindCtx)) || !bindCtx) return;
  CComPtr<IBaseFilter> filter;
  if (FAILED(moniker->BindToObject(bindCtx, nullptr, IID_IBaseFilter,
                                   reinterpret_cast<void**>(&filter))) ||
      !filter)
    return;
  std::unique_ptr<Filter> entry;
  if (category == VIDEO_INPUT_CLASS)
    entry.reset(new VideoCaptureFilter(name.c_str(), filter, moniker, bindCtx));
  else
    entry.reset(new Filter(name.c_str(), filter, moniker, bindCtx));
  list.push_back(entry.get());
  entry.release();
}

bool FilterEnums::isUnsupportedDevice(const char* const name) {
  if (!name) return false;
  for (const char* const* entry = UNSUPPORTED_DEVICE_ARRAY; *entry; ++entry) {
    if (std::strcmp(name, *entry) == 0) return true;
  }
  return false;
}

void FilterEnums::clear() {
  destroyContents(audioCodecs);
  destroyContents(videoCodecs);
  destroyContents(audioDevices);
  // Device drivers run code when their filters are released; whatever
  // escapes one of them must not escape this object. Every entry is taken
  // out of the list before it is deleted, so a contained fault costs that
  // one entry and the next pass goes on with the rest.
  auto destroyDevices = [](void* list) {
    destroyContents(*static_cast<std::vector<Filter*>*>(list));
  };
  for (size_t pass = 0; pass <= videoDevices.size(); ++pass) {
    if (detail::runContained(destroyDevices, &videoDevices)) break;
  }
  videoDevices.clear();
}

void FilterEnums::destroyContents(std::vector<Filter*>& list) {
  for (Filter*& entry : list) {
    Filter* doomed = entry;
    entry = nullptr;
    delete doomed;
  }
  list.clear();
}

}  // namespace kivo
