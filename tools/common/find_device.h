#pragma once

// The video capture device of a given friendly name, for kivo-bench and
// kivo-soak, which measure the KIVO Test Camera's devices by name.

#include <kivo/filter_enums.h>
#include <kivo/video_capture_filter.h>
#include <kivo/video_device_list.h>

#include <string>

namespace kivo::tools {

// The first device of that name among `devices`, or null.
inline kivo::VideoCaptureFilter* findVideoDevice(const kivo::FilterEnums& devices,
                                                 const std::string& name) {
  for (kivo::Filter* device : devices.getVideoDevices()) {
    if (name == device->getName()) return static_cast<kivo::VideoCaptureFilter*>(device);
  }
  return nullptr;
}

// The position of the first device of that name in `devices`, to open; the
// list's size when there is none.
inline size_t findVideoDevice(const kivo::VideoDeviceList& devices, const std::string& name) {
  const std::vector<kivo::VideoDeviceList::Device>& list = devices.getDevices();
  for (size_t i = 0; i < list.size(); ++i) {
    if (name == list[i].name) return i;
  }
  return list.size();
}

}  // namespace kivo::tools
