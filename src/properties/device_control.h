#pragma once

// What TRangeProperty, TRangeModeProperty and TModeProperty share: the
// interface identifier of each device interface, and the value and flag
// exchanges over GetRange/Get/Set, which IAMCameraControl and
// IAMVideoProcAmp declare alike.

#include <kivo/comptr.h>
#include <kivo/platform.h>

namespace kivo::properties {

template <class I>
struct DeviceControlTraits;

template <>
struct DeviceControlTraits<IAMCameraControl> {
  static const IID& iid() { return IID_IAMCameraControl; }
};

template <>
struct DeviceControlTraits<IAMVideoProcAmp> {
  static const IID& iid() { return IID_IAMVideoProcAmp; }
};

// The five values GetRange reports for one setting.
struct DeviceRange {
  long minimum = 0;
  long maximum = 0;
  long steppingDelta = 0;
  long defaultValue = 0;
  long capsFlags = 0;
};

// Obtains I from the filter and the range of `propertyId` from it. On
// failure `deviceInterface` may be left empty and the status is returned.
template <class I>
HRESULT openDeviceControl(const CComPtr<IBaseFilter>& filter, long propertyId,
                          CComPtr<I>& deviceInterface, DeviceRange& range) {
  deviceInterface.Release();
  if (!filter) return E_POINTER;
  HRESULT hr = filter->QueryInterface(DeviceControlTraits<I>::iid(),
                                      reinterpret_cast<void**>(&deviceInterface));
  if (FAILED(hr)) {
    deviceInterface.Release();
    return hr;
  }
  if (!deviceInterface) return E_NOINTERFACE;
  return deviceInterface->GetRange(propertyId, &range.minimum, &range.maximum, &range.steppingDelta,
                                   &range.defaultValue, &range.capsFlags);
}

// Reads the value of a setting into *value.
template <class I>
HRESULT readDeviceValue(I* device, long propertyId, void* value) {
  if (!value) return E_POINTER;
  if (!device) return E_UNEXPECTED;
  long flags = 0;
  return device->Get(propertyId, static_cast<long*>(value), &flags);
}

// Writes *value, keeping the control flags the device reports now (0 if it
// cannot tell).
template <class I>
HRESULT writeDeviceValue(I* device, long propertyId, void* value) {
  if (!value) return E_POINTER;
  if (!device) return E_UNEXPECTED;
  long current = 0;
  long flags = 0;
  device->Get(propertyId, &current, &flags);
  return device->Set(propertyId, *static_cast<long*>(value), flags);
}

// Reads the control flags of a setting into *value.
template <class I>
HRESULT readDeviceFlags(I* device, long propertyId, void* value) {
  if (!value) return E_POINTER;
  if (!device) return E_UNEXPECTED;
  long current = 0;
  return device->Get(propertyId, &current, static_cast<long*>(value));
}

// Writes the control flags *value, keeping the value the device reports now
// (0 if it cannot tell).
template <class I>
HRESULT writeDeviceFlags(I* device, long propertyId, void* value) {
  if (!value) return E_POINTER;
  if (!device) return E_UNEXPECTED;
  long current = 0;
  long flags = 0;
  device->Get(propertyId, &current, &flags);
  return device->Set(propertyId, current, *static_cast<long*>(value));
}

// Both automatic and manual control offered: the setting gets a "Mode"
// companion.
inline bool hasModeChoice(long capsFlags) { return (capsFlags & 0x1) && (capsFlags & 0x2); }

}  // namespace kivo::properties
