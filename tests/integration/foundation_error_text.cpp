// What the exceptions say on Wine, whose AMGetErrorTextA has no message
// table: "Error: 0x" and the status in lower-case hex without leading
// zeros, and nothing when the text does not fit.

// The umbrella header alone brings in every exported class.
#include <kivo/kivo.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kivo {
namespace {

TEST(ErrorTextOnWine, PlatformTextIsTheGenericStatusText) {
  char buffer[256] = {};
  EXPECT_EQ(AMGetErrorTextA(VFW_E_CANNOT_CONNECT, buffer, sizeof(buffer)), 17u);
  EXPECT_STREQ(buffer, "Error: 0x80040217");
  std::memset(buffer, 0, sizeof(buffer));
  EXPECT_EQ(AMGetErrorTextA(S_OK, buffer, sizeof(buffer)), 10u);
  EXPECT_STREQ(buffer, "Error: 0x0");
  std::memset(buffer, 0, sizeof(buffer));
  EXPECT_EQ(AMGetErrorTextA(REGDB_E_CLASSNOTREG, buffer, 8), 0u);
  EXPECT_STREQ(buffer, "");
}

TEST(ErrorTextOnWine, ExceptionsCarryIt) {
  const FilterCreationException creation(REGDB_E_CLASSNOTREG);
  EXPECT_STREQ(creation.getMessage(), "Error: 0x80040154");
  EXPECT_STREQ(creation.getID(), "kivo:filtercreationfailed");

  const VIDeviceAccessException access(E_ACCESSDENIED);
  EXPECT_STREQ(access.getMessage(),
               "Image acquisition device is not accessible.\n"
               "Error: 0x80070005\n"
               "Make sure no other objects or applications are accessing the same device.");

  EXPECT_STREQ(NoVIDevicesException().getMessage(),
               "No image acquisition device is connected or accessible.");
}

}  // namespace
}  // namespace kivo
