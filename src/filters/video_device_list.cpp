#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_device_list.h>

#include "foundation/replaceable.h"
#include "foundation/text.h"

namespace kivo {

VideoDeviceList::VideoDeviceList() { enumerate(); }

VideoDeviceList::~VideoDeviceList() = default;

const std::vector<VideoDeviceList::Device>& VideoDeviceList::getDevices() const { return devices; }

void VideoDeviceList::reset() {
  devices.clear();
  monikers.clear();
  enumerate();
}

void VideoDeviceList::enumerate() {
  CComPtr<ICreateDevEnum> enumerator;
  if (FAILED(replaceable::createObject(CLSID_SystemDeviceEnum, IID_PPV_ARGS(&enumerator))) ||
      !enumerator)
    return;
  CComPtr<IEnumMoniker> found;
  // An empty category answers S_FALSE and no enumerator.
  enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &found, 0);
  if (!found) return;
  for (;;) {
    CComPtr<IMoniker> moniker;
    // A broken enumerator may claim a moniker and hand out none.
    if (found->Next(1, &moniker, nullptr) != S_OK || !moniker) break;
    CComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))) || !bag) continue;
    Device device;
    if (!readBagText(bag, L"FriendlyName", device.name)) continue;
    if (FilterEnums::isUnsupportedDevice(device.name.c_str())) continue;
    readBagText(bag, L"DevicePath", device.path);
    device.vfw = bagHasValue(bag, L"VFWIndex");
    devices.push_back(std::move(device));
    monikers.push_back(moniker);
  }
}

HRESULT VideoDeviceList::open(size_t index, std::unique_ptr<VideoCaptureFilter>& device) const {
  device.reset();
  if (index >= monikers.size()) return E_INVALIDARG;
  CComPtr<IBindCtx> bindCtx;
  HRESULT hr = CreateBindCtx(0, &bindCtx);
  if (FAILED(hr)) return hr;
  CComPtr<IBaseFilter> filter;
  hr = monikers[index]->BindToObject(bindCtx, nullptr, IID_PPV_ARGS(&filter));
  if (FAILED(hr)) return hr;
  if (!filter) return E_NOINTERFACE;
  device.reset(
      new VideoCaptureFilter(devices[index].name.c_str(), filter, monikers[index], bindCtx));
  return S_OK;
}

}  // namespace kivo
