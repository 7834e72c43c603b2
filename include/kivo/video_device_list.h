#pragma once

#include <kivo/comptr.h>
#include <kivo/export.h>
#include <kivo/platform.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace kivo {

class VideoCaptureFilter;

// Lists the machine's video capture devices without binding any of them:
// what it tells comes from each device's registration alone, so listing
// opens no driver. A host then opens the one device it wants. The same
// devices as FilterEnums are left out (by name); a device whose driver
// cannot be bound is listed here, and open() says so. The calling thread
// must have COM initialised.
class KIVO_API VideoDeviceList {
 public:
  struct Device {
    std::string name;  // friendly name, UTF-8
    std::string path;  // device path, UTF-8; "" when the device has none
    // Driven through the platform's Video for Windows capture filter
    // (registered with a VFWIndex).
    bool vfw = false;
  };

  // Enumerates the video input devices. A failing enumerator or an empty
  // category gives an empty list, never an exception.
  VideoDeviceList();
  ~VideoDeviceList();
  VideoDeviceList(const VideoDeviceList&) = delete;
  VideoDeviceList& operator=(const VideoDeviceList&) = delete;

  // The devices, in the platform's order.
  const std::vector<Device>& getDevices() const;

  // Binds the device at `index` into a new VideoCaptureFilter named by its
  // friendly name, which the caller owns. E_INVALIDARG for an index past
  // the list; the platform's status when the device cannot be bound; the
  // filter stays empty on failure.
  HRESULT open(size_t index, std::unique_ptr<VideoCaptureFilter>& device) const;

  // Enumerates the devices again.
  void reset();

 private:
  void enumerate();
  std::vector<Device> devices;
  std::vector<CComPtr<IMoniker>> monikers;
};

}  // namespace kivo
