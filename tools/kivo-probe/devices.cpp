// The commands that need no graph: devices and dxversion.

#include "probe.h"

#include <kivo/filter.h>
#include <kivo/filter_enums.h>
#include <kivo/util.h>

#include <cstdio>
#include <string>

namespace kivo::probe {

int runDevices(const Invocation&) {
  FilterEnums enums;
  const auto& devices = enums.getVideoDevices();
  if (devices.empty()) {
    out("no video capture device");
    return kExitOk;
  }
  for (size_t i = 0; i < devices.size(); ++i) {
    const Filter* device = devices[i];
    const std::string path = device->getUniqueString();
    out(std::to_string(i) + ": " + device->getName());
    out(std::string("   device path: ") + (path.empty() ? "(none)" : path));
    out(std::string("   Video for Windows: ") + (device->isVFW() ? "yes" : "no"));
  }
  return kExitOk;
}

int runDxVersion(const Invocation&) {
  std::string text;
  DWORD packed = 0;
  util::queryDXVersion(text, &packed);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(packed));
  out("DirectX " + text + " (packed " + hex + ")");
  return kExitOk;
}

}  // namespace kivo::probe
