#pragma once

#include <kivo/hr_exception.h>

namespace kivo {

// Thrown when a filter cannot be created from its class identifier; the id is
// "kivo:filtercreationfailed" and the message the platform's text for the status.
class KIVO_API FilterCreationException : public HRException {
 public:
  explicit FilterCreationException(long hr);
  // Copies carry all three fields, through HRException's own copy.
  FilterCreationException(const FilterCreationException& other) = default;
  FilterCreationException& operator=(const FilterCreationException& other) = default;
  virtual ~FilterCreationException();
};

}  // namespace kivo
