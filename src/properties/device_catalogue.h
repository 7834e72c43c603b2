#pragma once

#include <kivo/base_property.h>
#include <kivo/comptr.h>
#include <kivo/platform.h>

#include <memory>
#include <vector>

namespace kivo {
namespace properties {

// Every device property a capture graph offers, created for `device` in the
// catalogue's order: camera control, proc-amp ranges and switches, the
// capture pin's flips (only when `capturePin` is given), the analog video
// decoder's settings. Supported or not: the caller keeps the supported ones.
std::vector<std::unique_ptr<BaseProperty>> createDeviceProperties(
    const CComPtr<IBaseFilter>& device, const CComPtr<IPin>& capturePin);

}  // namespace properties
}  // namespace kivo
