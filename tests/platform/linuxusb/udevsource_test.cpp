// The udev device source against devices and uevents of a umockdev test bed.
#include "platform/linuxusb/udevsource.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "tests/platform/linuxusb/fakeusbbus.h"

namespace tw {
namespace {

using namespace std::chrono_literals;
using Action = DeviceEvent::Action;
using Kind = DeviceEvent::Kind;

struct Seen {
  Action action;
  Kind kind;
  std::string name;
  friend bool operator==(const Seen&, const Seen&) = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen) {
  return out << (seen.action == Action::Arrival ? "arrival " : "removal ")
             << (seen.kind == Kind::Port ? "port " : "other ") << seen.name;
}

constexpr Seen Arrived(Kind kind, const char* name) {
  return {Action::Arrival, kind, name};
}
constexpr Seen Removed(Kind kind, const char* name) {
  return {Action::Removal, kind, name};
}

class UdevSource : public ::testing::Test {
 protected:
  UdevSource()
      : source(CUsbIdRules({{UsbMatchRule::Use::Download, 0xffff, 0x0352, 0},
                            {UsbMatchRule::Use::Modem, 0xffff, 0x0353, 0}}),
               ports) {}
  ~UdevSource() override { source.Stop(); }

  void Start() {
    ASSERT_TRUE(source.Start([this](const DeviceEvent& event) {
      std::lock_guard guard(lock);
      seen.push_back({event.action, event.kind, event.name});
      locations.push_back(event.location);
      changed.notify_all();
    }));
  }

  // Waits until n events have been seen in all and returns them.
  std::vector<Seen> WaitForEvents(std::size_t n) {
    std::unique_lock guard(lock);
    changed.wait_for(guard, 10s, [&] { return seen.size() >= n; });
    return seen;
  }

  // A handset that arrives with its uevent.
  test::FakeUsbDevice& Plug(const test::FakeUsbSetup& setup) {
    auto& device = bus.AddDevice(setup);
    bus.Uevent(device.SysPath(), "add");
    return device;
  }

  // Events are reported in order, so nothing came after the first `count` when
  // the next one is the arrival of a handset plugged now.
  void ExpectNothingAfter(std::size_t count) {
    Plug({.ports = "9"});
    auto events = WaitForEvents(count + 1);
    ASSERT_EQ(events.size(), count + 1);
    EXPECT_EQ(events.back(), Arrived(Kind::Other, "usb:1-9:0"));
  }

  std::string PlugTty(test::FakeUsbDevice& parent, const std::string& name) {
    std::string path = bus.AddTty(parent, 1, name);
    bus.Uevent(path, "add");
    return path;
  }

  test::FakeUsbBus bus;
  CPortTable ports;
  CUdevSource source;
  std::mutex lock;
  std::condition_variable changed;
  std::vector<Seen> seen;
  std::vector<std::string> locations;  // of each event in seen
};

TEST_F(UdevSource, AddRemoveAndReAddGiveExactlyThoseEvents) {
  Start();
  auto* handset = &Plug({.ports = "2"});
  std::string tty = PlugTty(*handset, "ttyACM0");
  ASSERT_EQ(WaitForEvents(2),
            (std::vector<Seen>{Arrived(Kind::Other, "usb:1-2:0"), Arrived(Kind::Port, "COM3")}));
  EXPECT_EQ(ports.Lookup(3), "/dev/ttyACM0") << "the port table opens COM3 as the tty";

  bus.RemovePath(tty);
  bus.RemoveDevice(*handset);
  auto events = WaitForEvents(4);
  EXPECT_EQ(std::vector<Seen>(events.begin() + 2, events.end()),
            (std::vector<Seen>{Removed(Kind::Port, "COM3"), Removed(Kind::Other, "usb:1-2:0")}));
  EXPECT_FALSE(ports.Lookup(3));

  handset = &Plug({.ports = "2"});
  PlugTty(*handset, "ttyACM0");
  events = WaitForEvents(6);
  EXPECT_EQ(std::vector<Seen>(events.begin() + 4, events.end()),
            (std::vector<Seen>{Arrived(Kind::Other, "usb:1-2:0"), Arrived(Kind::Port, "COM3")}));
  ExpectNothingAfter(6);
}

TEST_F(UdevSource, DevicesPresentAtStartAreReportedOnce) {
  auto& handset = bus.AddDevice({.ports = "4"});
  bus.AddTty(handset, 1, "ttyACM1");
  Start();
  auto events = WaitForEvents(2);
  EXPECT_EQ(events, (std::vector<Seen>{Arrived(Kind::Other, "usb:1-4:0"), Arrived(Kind::Port, "COM3")}));

  // A late "add" for the same device tells nothing new.
  bus.Uevent(handset.SysPath(), "add");
  ExpectNothingAfter(2);
}

TEST_F(UdevSource, IgnoresDevicesNoRuleNames) {
  Start();
  auto& other = Plug({.ports = "3", .pid = 0x9999});
  PlugTty(other, "ttyUSB0");
  std::string plain = bus.AddPlainTty("ttyS0");
  bus.Uevent(plain, "add");
  bus.RemovePath(plain);
  // The modem-mode handset shows only its port.
  auto& modem = Plug({.ports = "6", .pid = 0x0353});
  PlugTty(modem, "ttyACM2");
  EXPECT_EQ(WaitForEvents(1), (std::vector<Seen>{Arrived(Kind::Port, "COM3")}));
  ExpectNothingAfter(1);
}

TEST_F(UdevSource, PortNumbersStayWhileTheirDeviceIsPresent) {
  Start();
  auto& first = Plug({.ports = "2", .pid = 0x0353});
  std::string firstTty = PlugTty(first, "ttyACM0");
  auto& second = Plug({.ports = "3", .pid = 0x0353});
  PlugTty(second, "ttyACM1");
  ASSERT_EQ(WaitForEvents(2), (std::vector<Seen>{Arrived(Kind::Port, "COM3"), Arrived(Kind::Port, "COM4")}));

  bus.RemovePath(firstTty);
  auto& third = Plug({.ports = "4", .pid = 0x0353});
  PlugTty(third, "ttyACM2");
  auto events = WaitForEvents(4);
  EXPECT_EQ(std::vector<Seen>(events.begin() + 2, events.end()),
            (std::vector<Seen>{Removed(Kind::Port, "COM3"), Arrived(Kind::Port, "COM3")}));
  EXPECT_EQ(ports.Lookup(3), "/dev/ttyACM2");
  EXPECT_EQ(ports.Lookup(4), "/dev/ttyACM1") << "the other port keeps its number";
}

// Every event carries the port path of its USB device, the removals the one
// of their arrival: a handset's port and download interface share it.
TEST_F(UdevSource, EventsCarryTheirUsbDevicesPortPath) {
  auto& present = bus.AddDevice({.bus = 2, .ports = "1"});
  bus.AddTty(present, 1, "ttyACM0");
  Start();
  ASSERT_EQ(WaitForEvents(2).size(), 2u);
  auto* handset = &Plug({.ports = "2.4"});
  std::string tty = PlugTty(*handset, "ttyACM1");
  auto& modem = Plug({.ports = "3", .pid = 0x0353});
  PlugTty(modem, "ttyACM2");
  ASSERT_EQ(WaitForEvents(5).size(), 5u);
  bus.RemovePath(tty);
  bus.RemoveDevice(*handset);
  auto events = WaitForEvents(7);
  ASSERT_EQ(events, (std::vector<Seen>{Arrived(Kind::Other, "usb:2-1:0"), Arrived(Kind::Port, "COM3"),
                                       Arrived(Kind::Other, "usb:1-2.4:0"), Arrived(Kind::Port, "COM4"),
                                       Arrived(Kind::Port, "COM5"), Removed(Kind::Port, "COM4"),
                                       Removed(Kind::Other, "usb:1-2.4:0")}));
  std::lock_guard guard(lock);
  EXPECT_EQ(locations, (std::vector<std::string>{"2-1", "2-1", "1-2.4", "1-2.4", "1-3", "1-2.4", "1-2.4"}));
}

TEST_F(UdevSource, RestartReportsWhatIsPresentAgain) {
  auto& handset = bus.AddDevice({.ports = "2"});
  bus.AddTty(handset, 1, "ttyACM0");
  Start();
  EXPECT_FALSE(source.Start([](const DeviceEvent&) {})) << "it runs already";
  ASSERT_EQ(WaitForEvents(2).size(), 2u);
  source.Stop();
  source.Stop();
  EXPECT_FALSE(ports.Lookup(3)) << "a stopped source holds no port numbers";

  Start();
  auto events = WaitForEvents(4);
  EXPECT_EQ(std::vector<Seen>(events.begin() + 2, events.end()),
            (std::vector<Seen>{Arrived(Kind::Other, "usb:1-2:0"), Arrived(Kind::Port, "COM3")}));
}

}  // namespace
}  // namespace tw
