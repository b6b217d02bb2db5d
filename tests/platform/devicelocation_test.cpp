// Locations of interface paths and of device-directory entry names.
#include "platform/devicelocation.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(DeviceLocation, OfInterfacePaths) {
  const struct {
    const char* path;
    const char* location;
  } cases[] = {
      {"usb:1-2.4:0", "1-2.4"},      {"usb:3-1:2", "3-1"}, {"usb:1@5:0", ""},
      {"/dev/x/pda@1-2.4", "1-2.4"}, {"/dev/x/pda0", ""},  {"pda@7-1", "7-1"},
      {"/dev/a@b/pda0", ""},         {"/dev/x/pda@", ""},  {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LocationOfInterfacePath(c.path), c.location) << c.path;
  }
}

TEST(DeviceLocation, SplitsEntryNames) {
  EXPECT_EQ(SplitLocatedName("COM9@1-2.4").name, "COM9");
  EXPECT_EQ(SplitLocatedName("COM9@1-2.4").location, "1-2.4");
  EXPECT_EQ(SplitLocatedName("COM9").name, "COM9");
  EXPECT_EQ(SplitLocatedName("COM9").location, "");
}

}  // namespace
}  // namespace tw
