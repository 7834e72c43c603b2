// The exceptions through copies, and their messages when the platform's text is too long or none.

#include <kivo/duration_unsupported_exception.h>
#include <kivo/filter_creation_exception.h>
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
using ErrorText = test::ScopedValue<replaceable::ErrorTextFunction>;

DWORD WINAPI writesNothing(HRESULT, LPSTR, DWORD) { return 0; }
DWORD lastCapacity = 0;
DWORD WINAPI fillsEverything(HRESULT, LPSTR buffer, DWORD capacity) {
  std::memset(buffer, 'x', capacity);  // no terminator at all
  return lastCapacity = capacity;
}

TEST(HRException, CarriesStatusAndTextThroughCopiesAndCutsItsMessage) {
  EXPECT_STREQ(HRException(E_FAIL, nullptr).getID(), "");
  FilterCreationException target(E_OUTOFMEMORY);
  auto source = std::make_unique<FilterCreationException>(REGDB_E_CLASSNOTREG);
  const std::string message = source->getMessage();
  target = *source;
  const VIDeviceAccessException access(VFW_E_CANNOT_CONNECT), copy(access);
  source.reset();
  EXPECT_EQ(Access::hr(target), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(target.getMessage(), message);
  EXPECT_EQ(Access::hr(copy), VFW_E_CANNOT_CONNECT);
  EXPECT_STREQ(copy.getMessage(), access.getMessage());
  EXPECT_EQ(Access::hr(PositionUnsupportedException()), E_FAIL);
  {  // The message is cut to 255 characters; a fixed one is never looked up.
    ErrorText lookup(replaceable::errorText, &fillsEverything);
    EXPECT_EQ(std::string(HRException(E_FAIL, "").getMessage()), std::string(255, 'x'));
    EXPECT_EQ(lastCapacity, 256u);
    EXPECT_STREQ(DurationUnsupportedException().getMessage(),
                 "The duration of this media file cannot be determined.");
  }
  ErrorText lookup(replaceable::errorText, &writesNothing);  // empty without a platform text
  EXPECT_STREQ(FilterCreationException(E_FAIL).getMessage(), "");
  EXPECT_STREQ(VIDeviceAccessException(E_FAIL).getMessage(),
               "Image acquisition device is not accessible.\n\n"
               "Make sure no other objects or applications are accessing the same device.");
}

}  // namespace
}  // namespace kivo
