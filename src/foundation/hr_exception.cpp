#include <kivo/hr_exception.h>

#include "foundation/replaceable.h"

#include <cstring>

namespace kivo {

namespace {

const DWORD kErrorTextCapacity = 256;

std::string platformErrorText(long hr) {
  char buffer[kErrorTextCapacity];
  std::memset(buffer, 0, sizeof(buffer));
  replaceable::errorText(static_cast<HRESULT>(hr), buffer, kErrorTextCapacity);
  // The lookup may fill the whole buffer; the message never exceeds 255.
  buffer[kErrorTextCapacity - 1] = '\0';
  return std::string(buffer);
}

}  // namespace

HRException::HRException(long hr, const char* id)
    : message(platformErrorText(hr)), id(id ? id : ""), hr(hr) {}

HRException::HRException(const HRException& other) : hr(0) { *this = other; }

HRException& HRException::operator=(const HRException& other) {
  if (&other != this) {
    hr = other.hr;
    message = other.message;
    id = other.id;
  }
  return *this;
}

HRException::~HRException() = default;

const char* HRException::getID() const { return id.c_str(); }

const char* HRException::getMessage() const { return message.c_str(); }

}  // namespace kivo
