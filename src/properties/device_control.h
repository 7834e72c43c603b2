#pragma once

// What TRangeProperty, TRangeModeProperty and TModeProperty share: the range
// and the value and flag exchanges over GetRange/Get/Set, which
// IAMCameraControl and IAMVideoProcAmp declare alike.

#include <kivo/comptr.h>
#include <kivo/platform.h>

namespace kivo::properties {

// The five values GetRange reports for one setting.
struct DeviceRange {
  long minimum = 0;
  long maximum = 0;
  long steppingDelta = 0;
  long defaultValue = 0;
  long capsFlags = 0;

  void copyTo(long& minimumOut, long& maximumOut, long& steppingDeltaOut, long& defaultValueOut,
              long& capsFlagsOut) const {
    minimumOut = minimum;
    maximumOut = maximum;
    steppingDeltaOut = steppingDelta;
    defaultValueOut = defaultValue;
    capsFlagsOut = capsFlags;
  }
};

// Obtains I from the filter and the range of `propertyId` from it. On
// failure `deviceInterface` may be left empty and the status is returned.
template <class I>
HRESULT openDeviceControl(const CComPtr<IBaseFilter>& filter, long propertyId,
                          CComPtr<I>& deviceInterface, DeviceRange& range) {
  const HRESULT hr = filter.QueryInterface(&deviceInterface);
  if (FAILED(hr)) return hr;
  if (!deviceInterface) return E_NOINTERFACE;
  return deviceInterface->GetRange(propertyId, &range.minimum, &range.maximum, &range.steppingDelta,
                                   &range.defaultValue, &range.capsFlags);
}

// The two parts of a setting that Get and Set exchange together.
enum class SettingPart { Value, Flags };

// Reads one part of a setting into *out (a long).
template <class I>
HRESULT readSetting(I* device, long propertyId, SettingPart part, void* out) {
  if (!out) return E_POINTER;
  if (!device) return E_UNEXPECTED;
  long value = 0;
  long flags = 0;
  const HRESULT hr = device->Get(propertyId, &value, &flags);
  if (SUCCEEDED(hr)) *static_cast<long*>(out) = part == SettingPart::Value ? value : flags;
  return hr;
}

// Writes one part of a setting from *in (a long), keeping the other part as
// the device reports it now (0 if it cannot tell).
template <class I>
HRESULT writeSetting(I* device, long propertyId, SettingPart part, const void* in) {
  if (!in) return E_POINTER;
  if (!device) return E_UNEXPECTED;
  long value = 0;
  long flags = 0;
  device->Get(propertyId, &value, &flags);
  (part == SettingPart::Value ? value : flags) = *static_cast<const long*>(in);
  return device->Set(propertyId, value, flags);
}

// Both automatic and manual control offered: the setting gets a "Mode"
// companion.
inline bool hasModeChoice(long capsFlags) { return (capsFlags & 0x1) && (capsFlags & 0x2); }

}  // namespace kivo::properties
