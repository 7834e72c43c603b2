#pragma once

#include <kivo/hr_exception.h>

namespace kivo {

// For hosts that treat an empty device list as an error; kivo never throws it.
class KIVO_API NoVIDevicesException : public HRException {
 public:
  NoVIDevicesException();
  // Copies carry all three fields, through HRException's own copy.
  NoVIDevicesException(const NoVIDevicesException& other) = default;
  NoVIDevicesException& operator=(const NoVIDevicesException& other) = default;
  virtual ~NoVIDevicesException();
};

}  // namespace kivo
