#pragma once

#include <kivo/comptr.h>

#include <string>
#include <vector>

namespace kivo::test {

// One entry of the system's video input device category.
struct Device {
  std::wstring name, path;
  CComPtr<IMoniker> moniker;
};

// Every entry of the category in the enumerator's order, with its name and path when it has them.
inline std::vector<Device> videoInputDevices() {
  std::vector<Device> devices;
  CComPtr<ICreateDevEnum> enumerator;
  CComPtr<IEnumMoniker> monikers;
  if (FAILED(enumerator.CoCreateInstance(CLSID_SystemDeviceEnum)) ||
      enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK)
    return devices;
  CComPtr<IMoniker> moniker;
  while (monikers->Next(1, &moniker, nullptr) == S_OK) {
    Device device;
    CComPtr<IPropertyBag> bag;
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                         reinterpret_cast<void**>(&bag)))) {
      for (auto [property, text] : {std::make_pair(L"FriendlyName", &device.name),
                                    std::make_pair(L"DevicePath", &device.path)}) {
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(bag->Read(property, &value, nullptr)) && value.vt == VT_BSTR)
          *text = value.bstrVal;
        VariantClear(&value);
      }
    }
    device.moniker = moniker;
    devices.push_back(device);
    moniker.Release();
  }
  return devices;
}

}  // namespace kivo::test
