// The commands that need no graph: devices and dxversion.

#include "probe.h"

#include <kivo/filter.h>
#include <kivo/filter_enums.h>
#include <kivo/util.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kivo::probe {

namespace {

void printDevicesJson(const std::vector<Filter*>& devices) {
  JsonWriter document;
  document.beginObject().key("devices").beginArray();
  for (size_t i = 0; i < devices.size(); ++i) {
    const Filter* device = devices[i];
    document.beginObject();
    document.key("index").integer(static_cast<long long>(i));
    document.key("name").string(device->getName());
    document.key("device_path").stringOrNull(device->getUniqueString());
    document.key("vfw").boolean(device->isVFW());
    document.endObject();
  }
  document.endArray().endObject();
  printDocument(document);
}

}  // namespace

int runDevices(const Invocation& invocation) {
  FilterEnums enums;
  const auto& devices = enums.getVideoDevices();
  if (invocation.has("--json")) {
    printDevicesJson(devices);
    return kExitOk;
  }
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

int runDxVersion(const Invocation& invocation) {
  std::string text;
  DWORD packed = 0;
  util::queryDXVersion(text, &packed);
  if (invocation.has("--json")) {
    JsonWriter document;
    document.beginObject().key("version").string(text);
    document.key("packed").integer(packed).endObject();
    printDocument(document);
    return kExitOk;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(packed));
  out("DirectX " + text + " (packed " + hex + ")");
  return kExitOk;
}

}  // namespace kivo::probe
