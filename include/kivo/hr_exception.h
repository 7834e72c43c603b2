#pragma once

#include <kivo/export.h>
#include <kivo/platform.h>

#include <string>

namespace kivo {

// The common base of kivo's exceptions: an HRESULT, a machine-readable id
// and a human-readable message. Thrown by value, caught by reference; not
// derived from std::exception.
class KIVO_API HRException {
 public:
  // `id` must be a NUL-terminated text. The message is the platform's error
  // text for `hr` (empty when the platform has none).
  HRException(long hr, const char* id);
  HRException(const HRException& other);
  HRException& operator=(const HRException& other);
  virtual ~HRException();

  const char* getID() const;
  const char* getMessage() const;

 protected:
  KIVO_TEST_ACCESS;

  std::string message;
  std::string id;
  long hr;
};

}  // namespace kivo
