#pragma once

#include <kivo/hr_exception.h>

namespace kivo {

// Thrown when a media file's duration cannot be reported in the unit asked for.
class KIVO_API DurationUnsupportedException : public HRException {
 public:
  DurationUnsupportedException();
  // Copies carry all three fields, through HRException's own copy.
  DurationUnsupportedException(const DurationUnsupportedException& other) = default;
  DurationUnsupportedException& operator=(const DurationUnsupportedException& other) = default;
  virtual ~DurationUnsupportedException();
};

}  // namespace kivo
