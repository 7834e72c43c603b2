#pragma once

#include <kivo/platform.h>

namespace kivo {
namespace detail {

// Creates the system device enumerator (CLSID_SystemDeviceEnum) that
// FilterEnums lists devices with. Unit tests put a fake one in its place.
using DeviceEnumeratorFactory = HRESULT (*)(ICreateDevEnum** enumerator);
extern DeviceEnumeratorFactory createDeviceEnumerator;

}  // namespace detail
}  // namespace kivo
