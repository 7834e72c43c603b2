#pragma once

#include <kivo/hr_exception.h>

namespace kivo {

// Thrown when a media file's duration cannot be reported in the unit asked for.
class KIVO_API DurationUnsupportedException : public HRException {
 public:
  DurationUnsupportedException();
  DurationUnsupportedException(const DurationUnsupportedException& other);
  DurationUnsupportedException& operator=(const DurationUnsupportedException& other);
  virtual ~DurationUnsupportedException();
};

}  // namespace kivo
