#include <kivo/duration_unsupported_exception.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/hr_exception.h>
#include <kivo/position_unsupported_exception.h>
#include <kivo/vi_device_access_exception.h>

#include "foundation/replaceable.h"
#include "support/scoped_value.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace kivo {

template <>
struct TestAccess<HRException> {
  static long hr(const HRException& e) { return e.hr; }
};

namespace {

using Access = TestAccess<HRException>;

std::string platformText(HRESULT hr) {
  char buffer[256] = {};
  AMGetErrorTextA(hr, buffer, sizeof(buffer) - 1);
  return buffer;
}

const char kDurationText[] = "The duration of this media file cannot be determined.";

// Lookups standing in for the platform's, for the rules its texts cannot show.
DWORD WINAPI writesNothing(HRESULT, LPSTR, DWORD) { return 0; }
DWORD lastCapacity = 0;
DWORD WINAPI fillsEverything(HRESULT, LPSTR buffer, DWORD capacity) {
  lastCapacity = capacity;
  std::memset(buffer, 'x', capacity);  // no terminator at all
  return capacity;
}

TEST(HRException, CarriesStatusIdAndTextThroughCopiesAndCutsItsMessage) {
  const HRException unnamed(E_FAIL, nullptr);
  EXPECT_STREQ(unnamed.getID(), "");
  FilterCreationException target(E_OUTOFMEMORY);
  {
    FilterCreationException source(REGDB_E_CLASSNOTREG);
    target = source;
  }
  EXPECT_EQ(Access::hr(target), REGDB_E_CLASSNOTREG);
  EXPECT_STREQ(target.getID(), "kivo:filtercreationfailed");
  EXPECT_EQ(target.getMessage(), platformText(REGDB_E_CLASSNOTREG));
  FilterCreationException& alias = target;
  target = alias;
  EXPECT_EQ(target.getMessage(), platformText(REGDB_E_CLASSNOTREG));  // self-assignment keeps it

  auto source = std::make_unique<VIDeviceAccessException>(VFW_E_CANNOT_CONNECT);
  const VIDeviceAccessException copy(*source);
  const std::string message = source->getMessage();
  source.reset();
  EXPECT_EQ(Access::hr(copy), VFW_E_CANNOT_CONNECT);
  EXPECT_EQ(copy.getMessage(), message);
  const HRException& base = DurationUnsupportedException();
  EXPECT_STREQ(base.getMessage(), kDurationText);
  EXPECT_EQ(Access::hr(base), E_FAIL);
  EXPECT_STREQ(base.getID(), "");
  EXPECT_STREQ(PositionUnsupportedException().getMessage(),
               "The position of this media file cannot be determined.");
  // The message is cut to 255 characters, and empty without a platform text.

  {
    test::ScopedValue<replaceable::ErrorTextFunction> lookup(replaceable::errorText, &fillsEverything);
    const HRException e(E_FAIL, "");
    EXPECT_EQ(lastCapacity, 256u);
    EXPECT_EQ(std::string(e.getMessage()), std::string(255, 'x'));
    EXPECT_STREQ(DurationUnsupportedException().getMessage(), kDurationText);
  }
  test::ScopedValue<replaceable::ErrorTextFunction> lookup(replaceable::errorText, &writesNothing);
  EXPECT_STREQ(FilterCreationException(E_FAIL).getMessage(), "");
  EXPECT_EQ(
      VIDeviceAccessException(E_FAIL).getMessage(),
      std::string("Image acquisition device is not accessible.\n\n"
                  "Make sure no other objects or applications are accessing the same device."));
}

}  // namespace
}  // namespace kivo
