// The commands that need no graph: devices and dxversion.

#include "probe.h"

#include <kivo/util.h>
#include <kivo/video_device_list.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kivo::probe {

namespace {

void printDevicesJson(const std::vector<VideoDeviceList::Device>& devices) {
  JsonWriter document;
  document.beginObject().key("devices").beginArray();
  for (size_t i = 0; i < devices.size(); ++i) {
    document.beginObject();
    document.key("index").integer(static_cast<long long>(i));
    document.key("name").string(devices[i].name);
    document.key("device_path").stringOrNull(devices[i].path);
    document.key("vfw").boolean(devices[i].vfw);
    document.endObject();
  }
  document.endArray().endObject();
  printDocument(document);
}

}  // namespace

// The devices as registered: listing them opens no driver.
int runDevices(const Invocation& invocation) {
  const VideoDeviceList list;
  const auto& devices = list.getDevices();
  if (invocation.has("--json")) {
    printDevicesJson(devices);
    return kExitOk;
  }
  if (devices.empty()) {
    out("no video capture device");
    return kExitOk;
  }
  for (size_t i = 0; i < devices.size(); ++i) {
    out(std::to_string(i) + ": " + devices[i].name);
    out("   device path: " + (devices[i].path.empty() ? std::string("(none)") : devices[i].path));
    out(std::string("   Video for Windows: ") + (devices[i].vfw ? "yes" : "no"));
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
