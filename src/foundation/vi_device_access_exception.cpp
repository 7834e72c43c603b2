#include <kivo/vi_device_access_exception.h>

namespace kivo {

VIDeviceAccessException::VIDeviceAccessException(long hr) : HRException(hr, "") {
  message = "Image acquisition device is not accessible.\n" + message + "\n" +
            "Make sure no other objects or applications are accessing the same device.";
}

VIDeviceAccessException::~VIDeviceAccessException() = default;

}  // namespace kivo
