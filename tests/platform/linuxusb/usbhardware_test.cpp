// The one call that sets up the hardware paths: rules from TIDEWELL_USB_IDS,
// the libusb backend in the provider and the udev source naming ports in the
// provider's port table.
#include "platform/linuxusb/usbhardware.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>

#include "tests/platform/linuxusb/fakeusbbus.h"

namespace tw {
namespace {

using namespace std::chrono_literals;

constexpr GUID kDownloadClass = {
    0x25DBCE51, 0x6C8F, 0x4A72, {0x8A, 0x6D, 0xB5, 0x4C, 0x2B, 0x4F, 0xC8, 0x35}};

class UsbHardware : public ::testing::Test {
 protected:
  UsbHardware() : provider(ports) {}
  ~UsbHardware() override {
    ::unsetenv("TIDEWELL_USB_IDS");
    std::remove(rulesPath.c_str());
  }

  void UseRules(const std::string& text) {
    std::ofstream(rulesPath) << text;
    ::setenv("TIDEWELL_USB_IDS", rulesPath.c_str(), 1);
  }

  test::FakeUsbBus bus;
  // One file per process: the tests run in parallel, each in its own process.
  std::string rulesPath =
      ::testing::TempDir() + "tidewell-hardware-ids-" + std::to_string(::getpid()) + ".conf";
  CPortTable ports;
  CLinuxDeviceProvider provider;
};

TEST_F(UsbHardware, RulesFileDrivesTheBackendAndTheEvents) {
  UseRules("match vid=0x1234 pid=0x0001 interface=0\nmodem vid=0x1234 pid=0x0002\n");
  auto& handset = bus.AddDevice({.ports = "2", .vid = 0x1234, .pid = 0x0001});
  auto& modem = bus.AddDevice({.ports = "3", .vid = 0x1234, .pid = 0x0002});
  bus.AddTty(modem, 1, "ttyACM0");
  bus.AddDevice({.ports = "4"});  // the placeholder ids no longer count
  std::string error;
  auto events = AttachUsbHardware(provider, ports, kDownloadClass, &error);
  ASSERT_TRUE(events) << error;

  EXPECT_EQ(provider.EnumerateInterfaces(kDownloadClass), std::vector<std::string>{"usb:1-2:0"});
  auto channel = provider.OpenInterface("usb:1-2:0", &error);
  ASSERT_TRUE(channel) << error;
  EXPECT_TRUE(handset.Claimed());

  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::string> names;
  ASSERT_TRUE(events->Start([&](const DeviceEvent& event) {
    std::lock_guard guard(lock);
    names.push_back(event.name);
    changed.notify_all();
  }));
  std::unique_lock guard(lock);
  changed.wait_for(guard, 10s, [&] { return names.size() >= 2; });
  EXPECT_EQ(names, (std::vector<std::string>{"usb:1-2:0", "COM3"}));
  guard.unlock();
  EXPECT_EQ(ports.Lookup(3), "/dev/ttyACM0") << "OpenPort(\"COM3\") reaches the modem's tty";
  events->Stop();
}

TEST_F(UsbHardware, BadRulesFileIsRefusedWithItsLine) {
  UseRules("match vid=0x1234\n");
  std::string error;
  EXPECT_FALSE(AttachUsbHardware(provider, ports, kDownloadClass, &error));
  EXPECT_EQ(error, rulesPath + ":1: a rule needs both vid= and pid=");
  EXPECT_TRUE(provider.EnumerateInterfaces(kDownloadClass).empty()) << "no backend was added";
}

}  // namespace
}  // namespace tw
