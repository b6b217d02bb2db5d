#include "platform/linuxusb/usblocation.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(UsbLocation, PathRoundTrips) {
  struct Case {
    UsbLocation where;
    const char* path;
  };
  const Case cases[] = {
      {{1, {2}, 0, 0}, "usb:1-2:0"},
      {{3, {1, 4, 2}, 0, 5}, "usb:3-1.4.2:5"},
      {{2, {}, 7, 1}, "usb:2@7:1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.where.ToPath(), c.path);
    auto parsed = UsbLocation::FromPath(c.path);
    ASSERT_TRUE(parsed) << c.path;
    EXPECT_EQ(parsed->ToPath(), c.path);
  }
}

TEST(UsbLocation, RejectsMalformedPaths) {
  for (const char* path :
       {"", "usb:", "usb:1", "usb:1-2", "usb:1-2:", "usb:1-:0", "usb:1-2.:0", "usb:1@:0", "usb:1-2:0x",
        "usb:x-2:0", "usb:1-256:0", "usb:1-2:256", "/dev/ttyACM0", "usb:1-1.1.1.1.1.1.1.1:0", "usb:-1-2:0"}) {
    EXPECT_FALSE(UsbLocation::FromPath(path)) << path;
  }
}

TEST(UsbLocation, SortsByBusThenPortChain) {
  UsbLocation a{1, {2}, 9, 0};
  UsbLocation b{1, {2, 1}, 3, 0};
  UsbLocation c{1, {3}, 2, 0};
  UsbLocation d{2, {1}, 2, 0};
  EXPECT_TRUE(a.SortsBefore(b));
  EXPECT_TRUE(b.SortsBefore(c));
  EXPECT_TRUE(c.SortsBefore(d));
  EXPECT_FALSE(d.SortsBefore(a));
}

TEST(UsbLocation, SameDeviceByPortChainOrAddress) {
  UsbLocation byPorts{1, {2, 3}, 0, 0};
  EXPECT_TRUE(byPorts.SameDevice(1, {2, 3}, 17));
  EXPECT_FALSE(byPorts.SameDevice(2, {2, 3}, 17));
  EXPECT_FALSE(byPorts.SameDevice(1, {2}, 17));
  UsbLocation byAddress{1, {}, 5, 0};
  EXPECT_TRUE(byAddress.SameDevice(1, {}, 5));
  EXPECT_FALSE(byAddress.SameDevice(1, {}, 6));
}

}  // namespace
}  // namespace tw
