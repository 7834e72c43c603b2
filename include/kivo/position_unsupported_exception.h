#pragma once

#include <kivo/hr_exception.h>

namespace kivo {

// Thrown when a media file's position cannot be reported or set in the unit asked for.
class KIVO_API PositionUnsupportedException : public HRException {
 public:
  PositionUnsupportedException();
  PositionUnsupportedException(const PositionUnsupportedException& other);
  PositionUnsupportedException& operator=(const PositionUnsupportedException& other);
  virtual ~PositionUnsupportedException();
};

}  // namespace kivo
