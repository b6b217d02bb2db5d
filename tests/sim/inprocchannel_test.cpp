// The in-process channel behaves like the real devices: exclusive opens,
// bounded waits, devices that vanish, events in order.
#include "sim/inprocchannel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "pda/pdaguid.h"

namespace tw::sim::test {
namespace {

TEST(InProcChannel, PdaInterfaceIsListedOpenedOnceAndGoesAway) {
  InProcChannel channel;
  EXPECT_TRUE(channel.Provider().EnumerateInterfaces(GUID_PDA_DOWNLOAD_INTERFACE).empty());
  std::unique_ptr<ISimPort> port = channel.AnnouncePda();
  ASSERT_TRUE(port);
  EXPECT_EQ(channel.Provider().EnumerateInterfaces(GUID_PDA_DOWNLOAD_INTERFACE),
            std::vector<std::string>{kInProcPdaPath});
  EXPECT_TRUE(channel.Provider().EnumerateInterfaces(GUID{}).empty()) << "other classes list nothing";

  std::string error;
  std::unique_ptr<IByteDevice> device = channel.Provider().OpenInterface(kInProcPdaPath, &error);
  ASSERT_TRUE(device) << error;
  EXPECT_FALSE(channel.Provider().OpenInterface(kInProcPdaPath, &error)) << "opens are exclusive";
  EXPECT_NE(error.find("busy"), std::string::npos);
  EXPECT_TRUE(port->WaitOpened(0));

  const std::uint8_t hello[3] = {0x0A, 1, 2};
  ASSERT_TRUE(port->Send(hello, 3));
  EXPECT_EQ(device->BytesWaiting(), 3);
  std::uint8_t got[2];
  EXPECT_EQ(device->Read(got, 2), 2) << "a read takes at most what it asks for";
  EXPECT_EQ(device->BytesWaiting(), 1);

  port.reset();
  EXPECT_EQ(device->BytesWaiting(), -1);
  EXPECT_EQ(device->WaitReceive(1000), -1) << "a vanished device fails at once";
  EXPECT_FALSE(device->Write(hello, 3, 1000));
  EXPECT_TRUE(channel.Provider().EnumerateInterfaces(GUID_PDA_DOWNLOAD_INTERFACE).empty());
}

TEST(InProcChannel, WaitsAreBoundedAndHostCloseIsSeen) {
  InProcChannel channel;
  std::unique_ptr<ISimPort> port = channel.AnnounceCom(12);
  ASSERT_TRUE(port);
  EXPECT_FALSE(port->WaitOpened(10));
  std::string error;
  std::unique_ptr<IByteDevice> device = channel.Provider().OpenPort("\\\\.\\COM12", &error);
  ASSERT_TRUE(device) << error;
  EXPECT_FALSE(channel.Provider().OpenPort("COM13", &error));
  EXPECT_TRUE(port->WaitOpened(0));
  EXPECT_EQ(device->WaitReceive(20), 0);
  std::uint8_t buffer[8];
  EXPECT_EQ(port->Receive(buffer, sizeof buffer, 20), 0);
  const std::uint8_t frame[5] = {0x7E, 0xA0, 0x72, 0x55, 0x7E};
  ASSERT_TRUE(device->Write(frame, 5, 100));
  EXPECT_EQ(port->Receive(buffer, sizeof buffer, 100), 5);
  device.reset();
  EXPECT_EQ(port->Receive(buffer, sizeof buffer, 100), -1) << "the host closed its end";
  EXPECT_TRUE(channel.Provider().OpenPort("COM12:", &error)) << "a closed port opens again";
}

TEST(InProcChannel, EventsReportPresentDevicesFirstThenChangesInOrder) {
  InProcChannel channel;
  std::unique_ptr<ISimPort> pda = channel.AnnouncePda();
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::string> seen;
  IDeviceEventSource& events = channel.Events();
  ASSERT_TRUE(events.Start([&](const DeviceEvent& e) {
    std::lock_guard guard(lock);
    seen.push_back((e.action == DeviceEvent::Action::Arrival ? "+" : "-") + e.name +
                   (e.kind == DeviceEvent::Kind::Port ? "(port)" : ""));
    changed.notify_all();
  }));
  pda.reset();
  std::unique_ptr<ISimPort> com = channel.AnnounceCom(7);
  com.reset();
  std::unique_lock guard(lock);
  ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(5), [&] { return seen.size() == 4; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"+pda0", "-pda0", "+COM7(port)", "-COM7(port)"}));
  guard.unlock();
  events.Stop();
}

}  // namespace
}  // namespace tw::sim::test
