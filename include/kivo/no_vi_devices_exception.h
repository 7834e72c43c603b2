#pragma once

#include <kivo/hr_exception.h>

namespace kivo {

// For hosts that treat an empty device list as an error; kivo never throws it.
class KIVO_API NoVIDevicesException : public HRException {
 public:
  NoVIDevicesException();
  NoVIDevicesException(const NoVIDevicesException& other);
  NoVIDevicesException& operator=(const NoVIDevicesException& other);
  virtual ~NoVIDevicesException();
};

}  // namespace kivo
