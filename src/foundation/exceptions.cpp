#include <kivo/duration_unsupported_exception.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/hr_exception.h>
#include <kivo/no_vi_devices_exception.h>
#include <kivo/position_unsupported_exception.h>
#include <kivo/vi_device_access_exception.h>

#include "foundation/error_text.h"

#include <cstring>

namespace kivo {

namespace detail {
ErrorTextFunction errorText = &AMGetErrorTextA;
}  // namespace detail

namespace {

const DWORD kErrorTextCapacity = 256;

std::string platformErrorText(long hr) {
  char buffer[kErrorTextCapacity];
  std::memset(buffer, 0, sizeof(buffer));
  detail::errorText(static_cast<HRESULT>(hr), buffer, kErrorTextCapacity);
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

FilterCreationException::FilterCreationException(long hr)
    : HRException(hr, "kivo:filtercreationfailed") {}
FilterCreationException::FilterCreationException(const FilterCreationException& other)
    : HRException(other) {}
FilterCreationException& FilterCreationException::operator=(const FilterCreationException& other) {
  HRException::operator=(other);
  return *this;
}
FilterCreationException::~FilterCreationException() = default;

DurationUnsupportedException::DurationUnsupportedException() : HRException(E_FAIL, "") {
  message = "The duration of this media file cannot be determined.";
}
DurationUnsupportedException::DurationUnsupportedException(
    const DurationUnsupportedException& other)
    : HRException(other) {}
DurationUnsupportedException& DurationUnsupportedException::operator=(
    const DurationUnsupportedException& other) {
  HRException::operator=(other);
  return *this;
}
DurationUnsupportedException::~DurationUnsupportedException() = default;

PositionUnsupportedException::PositionUnsupportedException() : HRException(E_FAIL, "") {
  message = "The position of this media file cannot be determined.";
}
PositionUnsupportedException::PositionUnsupportedException(
    const PositionUnsupportedException& other)
    : HRException(other) {}
PositionUnsupportedException& PositionUnsupportedException::operator=(
    const PositionUnsupportedException& other) {
  HRException::operator=(other);
  return *this;
}
PositionUnsupportedException::~PositionUnsupportedException() = default;

NoVIDevicesException::NoVIDevicesException() : HRException(E_FAIL, "") {
  message = "No image acquisition device is connected or accessible.";
}
NoVIDevicesException::NoVIDevicesException(const NoVIDevicesException& other)
    : HRException(other) {}
NoVIDevicesException& NoVIDevicesException::operator=(const NoVIDevicesException& other) {
  HRException::operator=(other);
  return *this;
}
NoVIDevicesException::~NoVIDevicesException() = default;

VIDeviceAccessException::VIDeviceAccessException(long hr) : HRException(hr, "") {
  message = "Image acquisition device is not accessible.\n" + message + "\n" +
            "Make sure no other objects or applications are accessing the same device.";
}
VIDeviceAccessException::VIDeviceAccessException(const VIDeviceAccessException& other)
    : HRException(other) {}
VIDeviceAccessException& VIDeviceAccessException::operator=(const VIDeviceAccessException& other) {
  HRException::operator=(other);
  return *this;
}
VIDeviceAccessException::~VIDeviceAccessException() = default;

}  // namespace kivo
