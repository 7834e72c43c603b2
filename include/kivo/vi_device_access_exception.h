#pragma once

#include <kivo/hr_exception.h>

namespace kivo {

// For hosts that report a failed device access; kivo never throws it.
class KIVO_API VIDeviceAccessException : public HRException {
 public:
  explicit VIDeviceAccessException(long hr);
  // Copies carry all three fields, through HRException's own copy.
  VIDeviceAccessException(const VIDeviceAccessException& other) = default;
  VIDeviceAccessException& operator=(const VIDeviceAccessException& other) = default;
  virtual ~VIDeviceAccessException();
};

}  // namespace kivo
