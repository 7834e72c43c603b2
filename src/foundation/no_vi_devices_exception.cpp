#include <kivo/no_vi_devices_exception.h>

namespace kivo {

NoVIDevicesException::NoVIDevicesException() : HRException(E_FAIL, "") {
  message = "No image acquisition device is connected or accessible.";
}

NoVIDevicesException::~NoVIDevicesException() = default;

}  // namespace kivo
