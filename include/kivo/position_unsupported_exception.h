#pragma once

#include <kivo/hr_exception.h>

namespace kivo {

// Thrown when a media file's position cannot be reported or set in the unit asked for.
class KIVO_API PositionUnsupportedException : public HRException {
 public:
  PositionUnsupportedException();
  // Copies carry all three fields, through HRException's own copy.
  PositionUnsupportedException(const PositionUnsupportedException& other) = default;
  PositionUnsupportedException& operator=(const PositionUnsupportedException& other) = default;
  virtual ~PositionUnsupportedException();
};

}  // namespace kivo
