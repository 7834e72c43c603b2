#pragma once

#include <kivo/hr_exception.h>

namespace kivo {

// For hosts that report a failed device access; kivo never throws it.
class KIVO_API VIDeviceAccessException : public HRException {
 public:
  explicit VIDeviceAccessException(long hr);
  VIDeviceAccessException(const VIDeviceAccessException& other);
  VIDeviceAccessException& operator=(const VIDeviceAccessException& other);
  virtual ~VIDeviceAccessException();
};

}  // namespace kivo
