#include "platform/linuxusb/usbidrules.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <set>

namespace tw {
namespace {

using Use = UsbMatchRule::Use;

TEST(CUsbIdRules, ParsesRulesCommentsAndBlankLines) {
  std::string error;
  auto rules = CUsbIdRules::Parse(
      "# the handset\n"
      "\n"
      "match vid=0x04E8 pid=6601 interface=2   # download interface\n"
      "  modem vid=04e8 pid=0x6602\n"
      "match pid=0x1 vid=0x2\n",
      "test.conf", &error);
  ASSERT_TRUE(rules) << error;
  std::vector<UsbMatchRule> expected = {
      {Use::Download, 0x04e8, 0x6601, 2},
      {Use::Modem, 0x04e8, 0x6602, 0},
      {Use::Download, 0x0002, 0x0001, 0},
  };
  EXPECT_EQ(rules->Rules(), expected);
}

TEST(CUsbIdRules, RejectsBadLinesNamingFileAndLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"match vid=0x1234\n", "ids.conf:1: a rule needs both vid= and pid="},
      {"\nmatch vid=0x12345 pid=1\n", "ids.conf:2: bad vid '0x12345' (a hexadecimal number up to 0xffff)"},
      {"match vid=1 pid=zz\n", "ids.conf:1: bad pid 'zz' (a hexadecimal number up to 0xffff)"},
      {"match vid=1 pid=-1\n", "ids.conf:1: bad pid '-1' (a hexadecimal number up to 0xffff)"},
      {"match vid=1 pid=2 interface=256\n", "ids.conf:1: bad interface '256' (a decimal number up to 255)"},
      {"match vid=1 pid=2 interface=0x1\n", "ids.conf:1: bad interface '0x1' (a decimal number up to 255)"},
      {"modem vid=1 pid=2 interface=1\n", "ids.conf:1: unknown key 'interface'"},
      {"match vid=1 pid=2 serial=7\n", "ids.conf:1: unknown key 'serial'"},
      {"match vid 1\n", "ids.conf:1: expected key=value, found 'vid'"},
      {"allow vid=1 pid=2\n", "ids.conf:1: unknown rule 'allow' (expected match or modem)"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(CUsbIdRules::Parse(c.text, "ids.conf", &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
}

TEST(CUsbIdRules, MatchesByVendorAndProduct) {
  CUsbIdRules rules({{Use::Download, 0x1111, 0x0001, 3}, {Use::Modem, 0x1111, 0x0002, 0}});
  ASSERT_TRUE(rules.DownloadRule(0x1111, 0x0001));
  EXPECT_EQ(rules.DownloadRule(0x1111, 0x0001)->interfaceNumber, 3);
  EXPECT_FALSE(rules.DownloadRule(0x1111, 0x0002)) << "a modem rule names no download interface";
  EXPECT_TRUE(rules.MatchesDevice(0x1111, 0x0002));
  EXPECT_FALSE(rules.MatchesDevice(0x1111, 0x0003));
  EXPECT_FALSE(rules.MatchesDevice(0x2222, 0x0001));
}

TEST(CUsbIdRules, ShippedDefaultParsesToPlaceholders) {
  auto rules = CUsbIdRules::Default().Rules();
  ASSERT_FALSE(rules.empty());
  for (const auto& rule : rules) {
    EXPECT_EQ(rule.vid, 0xffff) << "the shipped ids are placeholders of no assigned vendor";
  }
}

// TIDEWELL_USB_IDS first, then the installed file when it exists, then the
// rules built in.
TEST(CUsbIdRules, EnvironmentThenInstalledFileThenBuiltIn) {
  const std::string base = ::testing::TempDir() + "tidewell-usb-ids-" + std::to_string(::getpid());
  const std::string named = base + "-named.conf";
  const std::string installed = base + "-installed.conf";
  std::ofstream(named) << "match vid=0x0abc pid=0x0def interface=1\n";
  std::ofstream(installed) << "modem vid=0x1234 pid=0x5678\n";
  std::string error;

  ::setenv("TIDEWELL_USB_IDS", named.c_str(), 1);
  UsbIdsOrigin origin = CUsbIdRules::Locate(installed);
  EXPECT_EQ(origin.kind, UsbIdsOrigin::Kind::Environment);
  auto rules = CUsbIdRules::Load(origin, &error);
  ASSERT_TRUE(rules) << error;
  EXPECT_EQ(rules->Rules(), (std::vector<UsbMatchRule>{{Use::Download, 0x0abc, 0x0def, 1}}));

  ::setenv("TIDEWELL_USB_IDS", (named + ".missing").c_str(), 1);
  EXPECT_FALSE(CUsbIdRules::Load(CUsbIdRules::Locate(installed), &error))
      << "a named file that is missing is an error, not the default";
  EXPECT_EQ(error, "cannot read the USB id rules file " + named + ".missing");

  ::unsetenv("TIDEWELL_USB_IDS");
  origin = CUsbIdRules::Locate(installed);
  EXPECT_EQ(origin.kind, UsbIdsOrigin::Kind::SystemFile);
  EXPECT_EQ(origin.path, installed);
  rules = CUsbIdRules::Load(origin, &error);
  ASSERT_TRUE(rules) << error;
  EXPECT_EQ(rules->Rules(), (std::vector<UsbMatchRule>{{Use::Modem, 0x1234, 0x5678, 0}}));
  EXPECT_FALSE(rules->HasPlaceholder());

  std::remove(installed.c_str());
  origin = CUsbIdRules::Locate(installed);
  EXPECT_EQ(origin.kind, UsbIdsOrigin::Kind::BuiltIn);
  rules = CUsbIdRules::Load(origin, &error);
  ASSERT_TRUE(rules);
  EXPECT_EQ(rules->Rules(), CUsbIdRules::Default().Rules());
  EXPECT_TRUE(rules->HasPlaceholder());
  std::remove(named.c_str());
}

// The value of the first key==" ... " in a rules line, or "".
std::string ValueAfter(const std::string& line, const std::string& key) {
  auto at = line.find(key + "==\"");
  if (at == std::string::npos) {
    return "";
  }
  at += key.size() + 3;
  return line.substr(at, line.find('"', at) - at);
}

// The udev rules must grant access to exactly the devices the shipped id rules
// name, for the USB device and for its serial ports alike.
TEST(UsbIdRules, UdevRulesCoverTheShippedIds) {
  std::ifstream file(std::string(TIDEWELL_DATA_DIR) + "/70-tidewell.rules");
  ASSERT_TRUE(file);
  std::set<std::string> covered;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    EXPECT_NE(line.find("GROUP=\"plugdev\""), std::string::npos) << line;
    EXPECT_NE(line.find("TAG+=\"uaccess\""), std::string::npos) << line;
    EXPECT_NE(line.find("ENV{ID_MM_DEVICE_IGNORE}=\"1\""), std::string::npos) << line;
    std::string subsystem = ValueAfter(line, "SUBSYSTEM");
    std::string attr = subsystem == "usb" ? "ATTR" : "ATTRS";  // a tty matches on its USB ancestor
    covered.insert(subsystem + " " + ValueAfter(line, attr + "{idVendor}") + ":" +
                   ValueAfter(line, attr + "{idProduct}"));
  }
  std::set<std::string> expected;
  const CUsbIdRules shipped = CUsbIdRules::Default();
  for (const auto& rule : shipped.Rules()) {
    char pair[16];
    std::snprintf(pair, sizeof pair, "%04x:%04x", rule.vid, rule.pid);
    expected.insert(std::string("usb ") + pair);
    expected.insert(std::string("tty ") + pair);
  }
  EXPECT_EQ(covered, expected);
}

}  // namespace
}  // namespace tw
