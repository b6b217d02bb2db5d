// tidewell-tool doctor against fake handsets in a umockdev test bed: a set-up
// in order, and each usual fault with its verdict, its fix and the status.
#include "cli/doctor.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "fakeusbbus.h"
#include "platform/processes.h"
#include "tests/cli/childprocess.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using Verdict = DoctorCheck::Verdict;

constexpr const char* kIds = "match vid=0x1234 pid=0x0001 interface=0\nmodem vid=0x1234 pid=0x0002\n";
constexpr const char* kRules =
    "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"1234\", ATTR{idProduct}==\"0001\", MODE=\"0660\"\n"
    "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"1234\", ATTRS{idProduct}==\"0002\", MODE=\"0660\"\n";

class Doctor : public ::testing::Test {
 protected:
  Doctor() {
    ::unsetenv("TIDEWELL_USB_IDS");
    std::string pattern = (fs::temp_directory_path() / "tidewell-doctor-XXXXXX").string();
    EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    fs::create_directories(dir / "rules.d");
    fs::create_directories(dir / "proc");
    Write(dir / "usb-ids.conf", kIds);
    Write(dir / "rules.d" / "70-tidewell.rules", kRules);
    settings.systemIdsPath = (dir / "usb-ids.conf").string();
    settings.udevRulesDirs = {(dir / "rules.d").string()};
    settings.user = {1000, {1000}, "tech"};
  }
  ~Doctor() override { fs::remove_all(dir); }

  static void Write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

  // A handset in download mode as the rules leave it: marked for
  // ModemManager, its node open to the user.
  test::FakeUsbDevice& AddHandset() {
    test::FakeUsbDevice& device = bus.AddDevice({.ports = "2", .vid = 0x1234, .pid = 0x0001});
    Mark(device.SysPath());
    ::chmod(device.DevNode().c_str(), 0666);
    return device;
  }
  // A handset in phone download mode with its modem port.
  void AddModemPort() {
    test::FakeUsbDevice& device = bus.AddDevice({.ports = "3", .vid = 0x1234, .pid = 0x0002});
    Mark(device.SysPath());
    Mark(AddTty(device));
  }
  // The fake's tty has no node of its own: a file stands for it.
  std::string AddTty(test::FakeUsbDevice& device) {
    const std::string tty = bus.AddTty(device, 1, "ttyACM0");
    std::ofstream("/dev/ttyACM0").flush();
    ::chmod("/dev/ttyACM0", 0666);
    return tty;
  }
  void Mark(const std::string& sysPath) {
    umockdev_testbed_set_property(bus.Testbed(), sysPath.c_str(), "ID_MM_DEVICE_IGNORE", "1");
  }

  // The checks' verdicts by name (the worst of a name), and the status and
  // output of the command.
  std::map<std::string, Verdict> Verdicts() {
    std::map<std::string, Verdict> verdicts;
    for (const DoctorCheck& check : DiagnoseSetup(settings)) {
      Verdict& worst = verdicts.try_emplace(check.check, check.verdict).first->second;
      if (check.verdict == Verdict::Fail || (check.verdict == Verdict::Note && worst == Verdict::Ok)) {
        worst = check.verdict;
      }
      EXPECT_EQ(check.verdict == Verdict::Fail, !check.fix.empty()) << check.check << ": " << check.text;
    }
    return verdicts;
  }
  int Run(const std::vector<std::string>& args, std::string* out) {
    ::testing::internal::CaptureStdout();
    const int status = RunDoctor(args, settings);
    *out = ::testing::internal::GetCapturedStdout();
    return status;
  }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  test::FakeUsbBus bus;
  fs::path dir;
  DoctorSettings settings;
};

TEST_F(Doctor, EverythingInOrder) {
  AddHandset();
  AddModemPort();
  const auto verdicts = Verdicts();
  const std::map<std::string, Verdict> expected = {
      {"ids", Verdict::Ok},           {"udev rules", Verdict::Ok},    {"handset", Verdict::Ok},
      {"kernel driver", Verdict::Ok}, {"device access", Verdict::Ok}, {"serial port", Verdict::Ok},
      {"port access", Verdict::Ok},   {"ModemManager", Verdict::Ok}};
  EXPECT_EQ(verdicts, expected);
  std::string out;
  EXPECT_EQ(Run({}, &out), 0);
  EXPECT_TRUE(
      Has(out, "ok    handset: bus 1, port 1-2, 1234:0001, download interface 0 (/dev/bus/usb/001/002)"))
      << out;
  EXPECT_TRUE(Has(out, "ok    serial port: /dev/ttyACM0 of the device at 1-3 would be COM3")) << out;
  EXPECT_TRUE(Has(out, "user tech may open /dev/ttyACM0 (COM3)")) << out;
  EXPECT_TRUE(Has(out, "\nnothing wrong found\n")) << out;
}

TEST_F(Doctor, NoHandset) {
  std::string out;
  EXPECT_EQ(Run({}, &out), 1);
  EXPECT_TRUE(Has(out, "FAIL  handset: no USB device with the ids of " + settings.systemIdsPath)) << out;
  EXPECT_TRUE(Has(out, "      fix: lsusb")) << out;
  EXPECT_TRUE(Has(out, "note  serial ports: none of the handset's")) << out;
  EXPECT_TRUE(Has(out, "\n1 finding\n")) << out;
}

TEST_F(Doctor, KernelDriverBoundIsNotedNotFailed) {
  AddHandset().SetKernelDriver("cdc_acm");
  std::string out;
  EXPECT_EQ(Run({}, &out), 0) << out;
  EXPECT_TRUE(Has(out, "note  kernel driver: cdc_acm holds interface 0 of 1-2; tidewell detaches it")) << out;
}

TEST_F(Doctor, NodeTheUserCannotOpen) {
  test::FakeUsbDevice& handset = AddHandset();
  ::chmod(handset.DevNode().c_str(), 0600);
  std::string out;
  EXPECT_EQ(Run({}, &out), 1);
  EXPECT_TRUE(Has(out, "FAIL  device access: user tech may not open /dev/bus/usb/001/002 (root:root 0600)"))
      << out;
  EXPECT_TRUE(Has(out, "      fix: sudo udevadm control --reload-rules && sudo udevadm trigger")) << out;

  // In the group the rules give, the fix is joining it.
  settings.user.groups = {0};
  ::chmod(handset.DevNode().c_str(), 0660);
  EXPECT_EQ(Verdicts()["device access"], Verdict::Ok);
}

TEST_F(Doctor, PlaceholderIdsAndMissingRules) {
  Write(dir / "usb-ids.conf", "match vid=0xffff pid=0x0352 interface=0\n");
  fs::remove(dir / "rules.d" / "70-tidewell.rules");
  std::string out;
  EXPECT_EQ(Run({}, &out), 1);
  EXPECT_TRUE(Has(out, "FAIL  ids: " + settings.systemIdsPath + ": the placeholder ids (vendor ffff)"))
      << out;
  EXPECT_TRUE(Has(out, "      fix: sudoedit " + settings.systemIdsPath)) << out;
  EXPECT_TRUE(Has(out, "FAIL  udev rules: no udev rules file names ffff:0352")) << out;
  EXPECT_TRUE(Has(out, "      fix: sudo install -m 644 data/70-tidewell.rules " + settings.udevRulesDirs[0]))
      << out;

  // Without the installed file, the built-in ids are the placeholders.
  fs::remove(dir / "usb-ids.conf");
  EXPECT_TRUE(
      Has(DiagnoseSetup(settings).front().text, "the built-in ids (no " + settings.systemIdsPath + ")"));
  EXPECT_EQ(DiagnoseSetup(settings).front().verdict, Verdict::Fail);
}

TEST_F(Doctor, PortHeldByAnotherProcess) {
  AddModemPort();
  // A shell holds the port open: the umockdev preload reaches it too.
  test::ChildProcess holder({"/bin/sh", "-c", "exec sleep 60 3<>/dev/ttyACM0"}, "/dev/null", "/dev/null");
  ASSERT_TRUE(holder.Started());
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ProcessesHolding("/dev/ttyACM0").empty() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::string out;
  EXPECT_EQ(Run({}, &out), 1);
  EXPECT_TRUE(Has(out, "FAIL  in use: /dev/ttyACM0 (COM3) is held by process ")) << out;
  EXPECT_TRUE(Has(out, " (sleep)\n      fix: kill ")) << out;
  holder.Terminate();
}

TEST_F(Doctor, ModemManagerAndAnUnmarkedPort) {
  AddHandset();
  test::FakeUsbDevice& modem = bus.AddDevice({.ports = "3", .vid = 0x1234, .pid = 0x0002});
  Mark(modem.SysPath());
  AddTty(modem);
  fs::create_directories(dir / "proc" / "77");
  Write(dir / "proc" / "77" / "comm", "ModemManager\n");
  settings.procRoot = (dir / "proc").string();
  std::string out;
  EXPECT_EQ(Run({"--json"}, &out), 1);
  const nlohmann::json report = nlohmann::json::parse(out);
  EXPECT_EQ(report["findings"], 1);
  bool found = false;
  for (const auto& check : report["checks"]) {
    if (check["check"] == "ModemManager") {
      found = true;
      EXPECT_EQ(check["verdict"], "FAIL");
      EXPECT_TRUE(Has(check["text"], "running, and /dev/ttyACM0 is not marked")) << check.dump();
      EXPECT_EQ(check["fix"], "sudo udevadm control --reload-rules && sudo udevadm trigger");
    }
  }
  EXPECT_TRUE(found) << out;
}

TEST_F(Doctor, UsageErrors) {
  std::string out;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Run({"--verbose"}, &out), 2);
  EXPECT_EQ(Run({"--json", "--json"}, &out), 2);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(
      Has(err, "tidewell-tool doctor: unexpected argument --verbose\nusage: tidewell-tool doctor [--json]"))
      << err;
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace tw
