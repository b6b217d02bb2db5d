// The Win32 backend under Wine, run by tidewell-wine-rig: COM ports joined by
// null-modem cables of ptys (TIDEWELL_RIG_SERIAL_A/B, TIDEWELL_RIG_GONE_A/B),
// the registered test device's interface joined to TIDEWELL_RIG_PDA_B, and
// WM_DEVICECHANGE sent to the device-event window.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "pda/pdaguid.h"
#include "pda/usbinterface.h"
#include "platform/stoppablewait.h"
#include "tests/app/logicharness.h"
#include "tests/platform/win32/testdevice.h"

// The Windows headers last: their macros (TRUE, WM_USER, ...) would clash
// with the names the upgrader's own headers declare.
// clang-format off
#include <windows.h>
#include <dbt.h>
#include "platform/win32/commdevice.h"
#include "platform/devicelocation.h"
#include "platform/win32/deviceeventwindow.h"
#include "platform/win32/setupapi.h"
#include "platform/win32/win32deviceprovider.h"
// clang-format on

namespace tw::test {
namespace {

using Clock = std::chrono::steady_clock;

std::string RigName(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr ? value : "";
}

std::unique_ptr<CWin32CommDevice> OpenPort(const char* variable) {
  std::string error;
  auto device = CWin32CommDevice::Open(RigName(variable), CWin32CommDevice::Kind::Port, &error);
  EXPECT_TRUE(device) << error;
  return device;
}

// Reads n bytes within a bound.
std::vector<BYTE> ReadAll(IByteDevice& device, std::size_t n) {
  std::vector<BYTE> got;
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (got.size() < n && Clock::now() < end) {
    if (device.WaitReceive(200) < 0) {
      break;
    }
    BYTE buffer[512];
    const long k = device.Read(buffer, std::min<std::size_t>(sizeof buffer, n - got.size()));
    if (k < 0) {
      break;
    }
    got.insert(got.end(), buffer, buffer + k);
  }
  return got;
}

long Milliseconds(Clock::duration d) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

TEST(Win32Serial, EveryByteValueBothWays) {
  auto a = OpenPort("TIDEWELL_RIG_SERIAL_A");
  auto b = OpenPort("TIDEWELL_RIG_SERIAL_B");
  ASSERT_TRUE(a && b);
  std::vector<BYTE> all(256);
  for (int i = 0; i < 256; ++i) {
    all[i] = static_cast<BYTE>(i);
  }
  ASSERT_TRUE(a->Write(all.data(), all.size(), 5000));
  EXPECT_EQ(ReadAll(*b, 256), all);
  std::vector<BYTE> reversed(all.rbegin(), all.rend());
  ASSERT_TRUE(b->Write(reversed.data(), reversed.size(), 5000));
  EXPECT_EQ(ReadAll(*a, 256), reversed);
}

TEST(Win32Serial, BoundedWaitTimesOutAndAStopEndsItAtOnce) {
  auto a = OpenPort("TIDEWELL_RIG_SERIAL_A");
  ASSERT_TRUE(a);
  // Nothing comes: the wait ends with its bound, reporting nothing.
  auto start = Clock::now();
  EXPECT_EQ(a->WaitReceive(300), 0);
  EXPECT_GE(Milliseconds(Clock::now() - start), 250);
  BYTE byte = 0;
  EXPECT_EQ(a->Read(&byte, 1), 0);
  // A stop ends a long wait well before its bound.
  std::stop_source stop;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop.request_stop();
  });
  start = Clock::now();
  EXPECT_EQ(WaitReceiveOrStop(*a, 20000, stop.get_token()), 0);
  EXPECT_LT(Milliseconds(Clock::now() - start), 2000);
}

TEST(Win32Serial, SecondOpenOfAPortFails) {
  auto a = OpenPort("TIDEWELL_RIG_SERIAL_A");
  ASSERT_TRUE(a);
  std::string error;
  EXPECT_FALSE(
      CWin32CommDevice::Open(RigName("TIDEWELL_RIG_SERIAL_A"), CWin32CommDevice::Kind::Port, &error));
  EXPECT_NE(error.find("held by another program"), std::string::npos) << error;
}

TEST(Win32Serial, VanishedPortEndsAWaitWithAFailure) {
  auto a = OpenPort("TIDEWELL_RIG_GONE_A");
  ASSERT_TRUE(a);
  std::ofstream(RigName("TIDEWELL_RIG_CONTROL") + "\\vanish-gone").put('x');
  const auto start = Clock::now();
  std::stop_source unused;
  EXPECT_EQ(WaitReceiveOrStop(*a, 20000, unused.get_token()), -1);
  EXPECT_LT(Milliseconds(Clock::now() - start), 5000);
  BYTE byte = 0;
  EXPECT_EQ(a->Read(&byte, 1), -1);
  EXPECT_FALSE(a->Write("x", 1, 1000));
}

TEST(Win32DownloadInterface, FoundByClassOpenedExclusivelyAndReadsOnlyWhatWaits) {
  std::string error;
  ASSERT_FALSE(RegisterTestDevice(&error).empty()) << error;
  CWin32DeviceProvider provider;
  const std::vector<std::string> paths = provider.EnumerateInterfaces(GUID_PDA_DOWNLOAD_INTERFACE);
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(_stricmp(paths[0].c_str(), kTestInterfacePath), 0) << paths[0];

  CUsbInterface usb(&provider);
  ASSERT_TRUE(usb.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 0));
  CUsbInterface second(&provider);
  EXPECT_FALSE(second.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 0));

  auto handset = OpenPort("TIDEWELL_RIG_PDA_B");
  ASSERT_TRUE(handset);
  std::vector<BYTE> sixteen(16);
  for (int i = 0; i < 16; ++i) {
    sixteen[i] = static_cast<BYTE>(0xA0 + i);
  }
  ASSERT_TRUE(handset->Write(sixteen.data(), sixteen.size(), 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  BYTE buffer[12] = {};
  EXPECT_EQ(usb.Read(buffer, 12), 12u);
  EXPECT_EQ(std::memcmp(buffer, sixteen.data(), 12), 0);
  EXPECT_EQ(usb.Read(buffer, 12), 4u);
  EXPECT_EQ(std::memcmp(buffer, sixteen.data() + 12, 4), 0);
  // And the other way.
  EXPECT_EQ(usb.Write("\x0a", 1), 1u);
  EXPECT_EQ(ReadAll(*handset, 1), std::vector<BYTE>{0x0a});
}

// WM_DEVICECHANGE records as the system sends them.
std::vector<BYTE> PortRecord(const std::wstring& name) {
  std::vector<BYTE> record(sizeof(DEV_BROADCAST_PORT_W) + name.size() * sizeof(wchar_t));
  auto* port = reinterpret_cast<DEV_BROADCAST_PORT_W*>(record.data());
  port->dbcp_size = static_cast<DWORD>(record.size());
  port->dbcp_devicetype = DBT_DEVTYP_PORT;
  std::memcpy(port->dbcp_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
  return record;
}

class DeviceChange : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_Source.Start([this](const DeviceEvent& event) {
      m_Harness.Logic().PostDeviceChange(event);
      std::lock_guard guard(m_lock);
      m_events.push_back(event);
    }));
  }
  void Send(WPARAM type, std::vector<BYTE> record) {
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutW(m_Source.Window(), WM_DEVICECHANGE, type,
                                    reinterpret_cast<LPARAM>(record.data()), SMTO_ABORTIFHUNG, 5000,
                                    &result));
    m_Harness.Drain();
  }
  std::vector<DeviceEvent> Events() {
    std::lock_guard guard(m_lock);
    return m_events;
  }

  LogicHarness m_Harness;
  CDeviceEventWindow m_Source{GUID_PDA_DOWNLOAD_INTERFACE};
  std::mutex m_lock;
  std::vector<DeviceEvent> m_events;
};

TEST_F(DeviceChange, ArrivalsAndRemovalsFeedTheSlotLogic) {
  m_Harness.Drain();
  const std::size_t present = Events().size();  // the registered test device, if any
  const std::string path =
      "\\\\?\\USB#VID_1234&PID_5678#5&2a3b4c5d&0&2#{25dbce51-6c8f-4a72-8a6d-b54c2b4fc835}";
  // The handset's interface arrives: slot 0 connects it.
  Send(DBT_DEVICEARRIVAL, CDeviceEventWindow::InterfaceRecord(GUID_PDA_DOWNLOAD_INTERFACE, path));
  ASSERT_EQ(Events().size(), present + 1);
  EXPECT_EQ(Events().back().kind, DeviceEvent::Kind::Other);
  EXPECT_EQ(Events().back().name, path);
  EXPECT_EQ(Events().back().location, "5&2a3b4c5d&0&2") << "the hub and port part of its instance id";
  EXPECT_EQ(LocationOfInterfacePath(path), "5&2a3b4c5d&0&2") << "the same as the event's";
  EXPECT_GE(m_Harness.CountCalls("ConnectPda 0"), 1);
  // A COM port interface whose device is unknown, and other events, are no events.
  Send(DBT_DEVICEARRIVAL,
       CDeviceEventWindow::InterfaceRecord(kComPortInterface,
                                           "\\\\?\\USB#VID_1#1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}"));
  Send(DBT_DEVNODES_CHANGED, {});
  EXPECT_EQ(Events().size(), present + 1);
  // In the phone stage the COM port arrives and is connected; LPT1 is passed over.
  m_Harness.Logic().m_bPhoneStage[0] = 1;
  Send(DBT_DEVICEARRIVAL, PortRecord(L"LPT1"));
  Send(DBT_DEVICEARRIVAL, PortRecord(L"COM12"));
  EXPECT_EQ(Events().back().kind, DeviceEvent::Kind::Port);
  EXPECT_EQ(Events().back().name, "COM12");
  EXPECT_EQ(m_Harness.CountCalls("ConnectPhone 12 0"), 1);
  EXPECT_EQ(m_Harness.Logic().m_nComPort[0], 12);
  EXPECT_EQ(Events().back().location, "") << "no such device present: no location";
  // The port's removal frees the slot.
  Send(DBT_DEVICEREMOVECOMPLETE, PortRecord(L"COM12"));
  EXPECT_EQ(Events().back().action, DeviceEvent::Action::Removal);
  EXPECT_EQ(m_Harness.Logic().m_nComPort[0], 0);
  EXPECT_EQ(m_Harness.Logic().m_bSlotIdle[0], 1);
  // The interface's removal carries the location its arrival had.
  Send(DBT_DEVICEREMOVECOMPLETE, CDeviceEventWindow::InterfaceRecord(GUID_PDA_DOWNLOAD_INTERFACE, path));
  EXPECT_EQ(Events().back().action, DeviceEvent::Action::Removal);
  EXPECT_EQ(Events().back().location, "5&2a3b4c5d&0&2");
}

// A serial port registered for one test, and gone after it.
class TestPort {
 public:
  explicit TestPort(const std::string& name) { m_path = RegisterTestPort(name, &m_error); }
  ~TestPort() {
    if (!m_path.empty()) {
      RemoveTestPort(m_path);
    }
  }
  TestPort(const TestPort&) = delete;
  TestPort& operator=(const TestPort&) = delete;
  const std::string& Path() const { return m_path; }
  const std::string& Error() const { return m_error; }

 private:
  std::string m_path, m_error;
};

// What is present at the start arrives before Start returns, as its arrival
// would: the download interface first (it takes the idle slot), then the COM
// port by its device's name, whose removal later takes the same name.
TEST_F(DeviceChange, PresentInterfacesAndPortsArriveAtTheStart) {
  m_Source.Stop();
  std::string error;
  ASSERT_FALSE(RegisterTestDevice(&error).empty()) << error;
  TestPort port("COM9");
  ASSERT_FALSE(port.Path().empty()) << port.Error();
  {
    std::lock_guard guard(m_lock);
    m_events.clear();
  }
  ASSERT_TRUE(m_Source.Start([this](const DeviceEvent& event) {
    m_Harness.Logic().PostDeviceChange(event);
    std::lock_guard guard(m_lock);
    m_events.push_back(event);
  }));
  std::vector<DeviceEvent> present = Events();
  ASSERT_EQ(present.size(), 2u);
  EXPECT_EQ(present[0].action, DeviceEvent::Action::Arrival);
  EXPECT_EQ(present[0].kind, DeviceEvent::Kind::Other);
  EXPECT_EQ(_stricmp(present[0].name.c_str(), kTestInterfacePath), 0) << present[0].name;
  EXPECT_EQ(present[1].action, DeviceEvent::Action::Arrival);
  EXPECT_EQ(present[1].kind, DeviceEvent::Kind::Port);
  EXPECT_EQ(present[1].name, "COM9");
  m_Harness.Drain();
  EXPECT_GE(m_Harness.CountCalls("ConnectPda 0"), 1);
  EXPECT_EQ(m_Harness.Logic().m_nComPort[0], 0);

  Send(DBT_DEVICEREMOVECOMPLETE, CDeviceEventWindow::InterfaceRecord(kComPortInterface, port.Path()));
  ASSERT_EQ(Events().size(), 3u);
  EXPECT_EQ(Events().back().action, DeviceEvent::Action::Removal);
  EXPECT_EQ(Events().back().kind, DeviceEvent::Kind::Port);
  EXPECT_EQ(Events().back().name, "COM9");
}

TEST(DeviceLocation, FromTheInstancePathWhereOneIsGiven) {
  EXPECT_EQ(InstanceIdOfInterfacePath("\\\\?\\USB#VID_1234&PID_5678#5&2a3b4c5d&0&2#{25dbce51-6c8f-4a72-8a6d-"
                                      "b54c2b4fc835}"),
            "USB\\VID_1234&PID_5678\\5&2a3b4c5d&0&2");
  EXPECT_EQ(InstanceIdOfInterfacePath("COM7"), "");
  struct Case {
    const char* id;
    const char* location;
  };
  const Case cases[] = {
      {"USB\\VID_1234&PID_5678\\5&2a3b4c5d&0&2", "5&2a3b4c5d&0&2"},  // made from hub and port
      {"usb\\vid_1234&pid_5678\\5&2A3B4C5D&0&4", "5&2A3B4C5D&0&4"},
      {"USB\\VID_1234&PID_5678\\SERIAL0042", ""},               // a serial number: no location
      {"USB\\VID_1234&PID_5678&MI_01\\6&11aa22bb&0&0001", ""},  // a function: its USB device decides
      {"ROOT\\TIDEWELL_TEST\\0000", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocationOfInstanceId(c.id), c.location) << c.id;
  }
}

}  // namespace
}  // namespace tw::test
