#include "platform/porttable.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(ParsePortNameTest, AcceptsTheThreeFormsAndNothingElse) {
  struct Case {
    const char* name;
    std::optional<int> number;
  };
  const Case cases[] = {
      {"COM1", 1},
      {"COM9:", 9},
      {"\\\\.\\COM10", 10},
      {"\\\\.\\COM12:", 12},
      {"com7", 7},
      {"COM9999", 9999},
      {"COM#:115200,N,8,0", std::nullopt},  // the name template when no port was formed
      {"COM9:115200", std::nullopt},
      {"COM", std::nullopt},
      {"COM:", std::nullopt},
      {"COM0", std::nullopt},
      {"COM05", std::nullopt},
      {"COM-3", std::nullopt},
      {"COM+3", std::nullopt},
      {"COM 3", std::nullopt},
      {"COM10000", std::nullopt},
      {"COM99999999999999999999", std::nullopt},
      {"LPT1", std::nullopt},
      {"\\\\.\\LPT1", std::nullopt},
      {"\\\\?\\COM3", std::nullopt},
      {"/dev/ttyUSB0", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParsePortName(c.name), c.number) << c.name;
  }
}

TEST(PortTableTest, NamesResolveToTheirNumbersPath) {
  CPortTable table;
  ASSERT_TRUE(table.Set(3, "/dev/ttyACM0"));
  ASSERT_TRUE(table.Set(12, "/dev/ttyUSB1"));
  EXPECT_EQ(table.Resolve("COM3:"), "/dev/ttyACM0");
  EXPECT_EQ(table.Resolve("\\\\.\\COM12"), "/dev/ttyUSB1");
  EXPECT_EQ(table.Resolve("COM4"), std::nullopt);
  EXPECT_EQ(table.Resolve("COM#:115200,N,8,0"), std::nullopt);
  EXPECT_FALSE(table.Set(0, "/dev/ttyS0"));
  EXPECT_FALSE(table.Set(CPortTable::kMaxPortNumber + 1, "/dev/ttyS0"));

  table.Remove(3);
  EXPECT_EQ(table.Lookup(3), std::nullopt);
  table.RemovePath("/dev/ttyUSB1");
  EXPECT_EQ(table.Lookup(12), std::nullopt);
}

TEST(PortTableTest, AssignKeepsANumberWhilePresentAndReusesFreedOnes) {
  CPortTable table;
  EXPECT_EQ(table.Assign("/dev/ttyACM0"), 1);
  EXPECT_EQ(table.Assign("/dev/ttyACM1"), 2);
  EXPECT_EQ(table.Assign("/dev/ttyACM0"), 1);
  table.Set(3, "/dev/ttyUSB0");
  EXPECT_EQ(table.Assign("/dev/ttyACM2"), 4);
  table.RemovePath("/dev/ttyACM0");
  EXPECT_EQ(table.Assign("/dev/ttyACM3"), 1);
  EXPECT_EQ(table.Lookup(2), "/dev/ttyACM1");
}

TEST(PortTableTest, DirectoryModeNumberIsTheEntryName) {
  CPortTable table("/run/devs/");
  EXPECT_EQ(table.Resolve("COM12"), "/run/devs/COM12");
  EXPECT_EQ(table.Resolve("COM9:"), "/run/devs/COM9");
  EXPECT_EQ(table.Resolve("LPT1"), std::nullopt);
  // An explicit entry wins.
  table.Set(9, "/dev/ttyACM0");
  EXPECT_EQ(table.Resolve("COM9:"), "/dev/ttyACM0");
}

}  // namespace
}  // namespace tw
