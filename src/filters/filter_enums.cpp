#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>

#include "foundation/fault_guard.h"
#include "foundation/replaceable.h"
#include "foundation/text.h"

#include <cstring>
#include <memory>
#include <string>

namespace kivo {

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
  if (FAILED(replaceable::createObject(CLSID_SystemDeviceEnum, IID_PPV_ARGS(&devices))) || !devices)
    return;
  CComPtr<IEnumMoniker> monikers;
  // An empty category answers S_FALSE and no enumerator; only the
  // enumerator's presence matters.
  devices->CreateClassEnumerator(*categoryId, &monikers, flags);
  if (!monikers) return;
  monikers->Reset();
  for (;;) {
    CComPtr<IMoniker> moniker;
    // A broken enumerator may claim a moniker and hand out none: stop
    // rather than spin.
    if (monikers->Next(1, &moniker, nullptr) != S_OK || !moniker) break;
    appendFilter(list, moniker, category);
  }
}

void FilterEnums::appendFilter(std::vector<Filter*>& list, const CComPtr<IMoniker>& moniker,
                               const int& category) {
  if (!moniker) return;
  std::string name;
  if (!readDeviceText(moniker, L"FriendlyName", name)) return;
  if (isUnsupportedDevice(name.c_str())) return;
  CComPtr<IBindCtx> bindCtx;
  if (FAILED(CreateBindCtx(0, &bindCtx)) || !bindCtx) return;
  CComPtr<IBaseFilter> filter;
  if (FAILED(moniker->BindToObject(bindCtx, nullptr, IID_PPV_ARGS(&filter))) || !filter) return;
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
