#include <kivo/duration_unsupported_exception.h>
#include <kivo/filter_creation_exception.h>
#include <kivo/hr_exception.h>
#include <kivo/no_vi_devices_exception.h>
#include <kivo/position_unsupported_exception.h>
#include <kivo/vi_device_access_exception.h>

#include "foundation/error_text.h"
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

// What the platform's error-text lookup says for a status, read the way the
// exceptions read it.
std::string platformText(HRESULT hr) {
  char buffer[256];
  std::memset(buffer, 0, sizeof(buffer));
  AMGetErrorTextA(hr, buffer, sizeof(buffer));
  buffer[255] = '\0';
  return buffer;
}

const char kDurationText[] = "The duration of this media file cannot be determined.";
const char kPositionText[] = "The position of this media file cannot be determined.";
const char kNoDevicesText[] = "No image acquisition device is connected or accessible.";
const char kAccessHead[] = "Image acquisition device is not accessible.\n";
const char kAccessAdvice[] =
    "Make sure no other objects or applications are accessing the same device.";

TEST(HRException, CarriesStatusIdAndThePlatformText) {
  const HRException e(VFW_E_CANNOT_CONNECT, "kivo:something");
  EXPECT_EQ(Access::hr(e), VFW_E_CANNOT_CONNECT);
  EXPECT_STREQ(e.getID(), "kivo:something");
  EXPECT_EQ(e.getMessage(), platformText(VFW_E_CANNOT_CONNECT));
  EXPECT_LT(std::strlen(e.getMessage()), 256u);
}

TEST(HRException, NullIdBecomesEmptyRatherThanCrashing) {
  const HRException e(E_FAIL, nullptr);
  ASSERT_NE(e.getID(), nullptr);
  EXPECT_STREQ(e.getID(), "");
}

TEST(FilterCreationException, HasItsIdAndKeepsThePlatformText) {
  const FilterCreationException e(REGDB_E_CLASSNOTREG);
  EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
  EXPECT_EQ(Access::hr(e), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(e.getMessage(), platformText(REGDB_E_CLASSNOTREG));
}

TEST(FixedTextExceptions, ReplaceThePlatformTextAndCarryEFail) {
  const DurationUnsupportedException duration;
  const PositionUnsupportedException position;
  const NoVIDevicesException noDevices;
  const HRException* all[] = {&duration, &position, &noDevices};
  for (const HRException* e : all) {
    EXPECT_EQ(Access::hr(*e), E_FAIL);
    ASSERT_NE(e->getID(), nullptr);
    EXPECT_STREQ(e->getID(), "");
  }
  EXPECT_STREQ(duration.getMessage(), kDurationText);
  EXPECT_STREQ(position.getMessage(), kPositionText);
  EXPECT_STREQ(noDevices.getMessage(), kNoDevicesText);
}

TEST(VIDeviceAccessException, JoinsHeadPlatformTextAndAdvice) {
  const VIDeviceAccessException e(VFW_E_CANNOT_CONNECT);
  EXPECT_EQ(Access::hr(e), VFW_E_CANNOT_CONNECT);
  EXPECT_STREQ(e.getID(), "");
  EXPECT_EQ(e.getMessage(),
            std::string(kAccessHead) + platformText(VFW_E_CANNOT_CONNECT) + "\n" + kAccessAdvice);
}

TEST(VIDeviceAccessException, CopySurvivesTheSource) {
  auto source = std::make_unique<VIDeviceAccessException>(E_ACCESSDENIED);
  const std::string message = source->getMessage();
  const VIDeviceAccessException copy(*source);
  source.reset();
  EXPECT_EQ(copy.getMessage(), message);
  EXPECT_STREQ(copy.getID(), "");
  EXPECT_EQ(Access::hr(copy), E_ACCESSDENIED);
}

TEST(HRException, AssignmentCopiesAllFieldsDeeply) {
  FilterCreationException target(E_OUTOFMEMORY);
  {
    FilterCreationException source(REGDB_E_CLASSNOTREG);
    target = source;
  }
  EXPECT_EQ(Access::hr(target), REGDB_E_CLASSNOTREG);
  EXPECT_STREQ(target.getID(), "kivo:filtercreationfailed");
  EXPECT_EQ(target.getMessage(), platformText(REGDB_E_CLASSNOTREG));

  HRException base(E_FAIL, "kivo:base");
  base = DurationUnsupportedException();
  EXPECT_STREQ(base.getMessage(), kDurationText);
  EXPECT_STREQ(base.getID(), "");
}

TEST(HRException, SelfAssignmentChangesNothing) {
  VIDeviceAccessException e(E_ACCESSDENIED);
  const std::string message = e.getMessage();
  const char* messageText = e.getMessage();
  VIDeviceAccessException& alias = e;
  e = alias;
  EXPECT_EQ(e.getMessage(), message);
  EXPECT_EQ(e.getMessage(), messageText);  // the text was not even reallocated
  EXPECT_EQ(Access::hr(e), E_ACCESSDENIED);

  HRException base(VFW_E_CANNOT_CONNECT, "kivo:id");
  HRException& baseAlias = base;
  base = baseAlias;
  EXPECT_STREQ(base.getID(), "kivo:id");
  EXPECT_EQ(Access::hr(base), VFW_E_CANNOT_CONNECT);
}

TEST(HRException, EverySubclassIsCaughtAsTheBase) {
  auto catchAsBase = [](auto thrower) -> std::string {
    try {
      thrower();
    } catch (const HRException& e) {
      return e.getMessage();
    }
    return "<not caught>";
  };
  EXPECT_EQ(catchAsBase([] { throw DurationUnsupportedException(); }), kDurationText);
  EXPECT_EQ(catchAsBase([] { throw PositionUnsupportedException(); }), kPositionText);
  EXPECT_EQ(catchAsBase([] { throw NoVIDevicesException(); }), kNoDevicesText);
  EXPECT_EQ(catchAsBase([] { throw FilterCreationException(E_FAIL); }), platformText(E_FAIL));
  EXPECT_NE(catchAsBase([] { throw VIDeviceAccessException(E_FAIL); }).find(kAccessAdvice),
            std::string::npos);

  try {
    throw FilterCreationException(REGDB_E_CLASSNOTREG);
  } catch (const FilterCreationException& e) {
    EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
  }
}

// Lookups standing in for the platform's, to reach the message rules that
// the platform's own texts cannot show.
DWORD WINAPI writesNothing(HRESULT, LPSTR, DWORD) { return 0; }

DWORD WINAPI fillsEverything(HRESULT, LPSTR buffer, DWORD capacity) {
  std::memset(buffer, 'x', capacity);  // no terminator at all
  return capacity;
}

DWORD lastCapacity = 0;
DWORD WINAPI recordsCapacity(HRESULT, LPSTR buffer, DWORD capacity) {
  lastCapacity = capacity;
  std::strcpy(buffer, "text");
  return 4;
}

TEST(HRException, StatusWithoutPlatformTextGivesAnEmptyMessage) {
  test::ScopedValue<detail::ErrorTextFunction> lookup(detail::errorText, &writesNothing);
  const FilterCreationException e(static_cast<HRESULT>(0x8badf00d));
  EXPECT_STREQ(e.getMessage(), "");
  EXPECT_STREQ(e.getID(), "kivo:filtercreationfailed");
  EXPECT_EQ(Access::hr(e), static_cast<HRESULT>(0x8badf00d));

  const VIDeviceAccessException access(E_FAIL);
  EXPECT_EQ(access.getMessage(), std::string(kAccessHead) + "\n" + kAccessAdvice);
}

TEST(HRException, MessageNeverExceeds255CharactersOfTheLookup) {
  test::ScopedValue<detail::ErrorTextFunction> lookup(detail::errorText, &fillsEverything);
  const HRException e(E_FAIL, "");
  EXPECT_EQ(std::string(e.getMessage()), std::string(255, 'x'));
}

TEST(HRException, AsksTheLookupWithCapacity256) {
  test::ScopedValue<detail::ErrorTextFunction> lookup(detail::errorText, &recordsCapacity);
  lastCapacity = 0;
  const HRException e(E_FAIL, "");
  EXPECT_EQ(lastCapacity, 256u);
  EXPECT_STREQ(e.getMessage(), "text");
  // Fixed texts replace whatever the lookup said.
  EXPECT_STREQ(NoVIDevicesException().getMessage(), kNoDevicesText);
}

}  // namespace
}  // namespace kivo
