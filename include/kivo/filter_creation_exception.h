#pragma once

#include <kivo/hr_exception.h>

namespace kivo {

// Thrown when a filter cannot be created from its class identifier; the id is "kivo:filtercreationfailed" and the message the platform's text for the status.
class KIVO_API FilterCreationException : public HRException {
 public:
  explicit FilterCreationException(long hr);
  FilterCreationException(const FilterCreationException& other);
  FilterCreationException& operator=(const FilterCreationException& other);
  virtual ~FilterCreationException();
};

}  // namespace kivo
