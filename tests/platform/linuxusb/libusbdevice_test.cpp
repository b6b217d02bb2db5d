// The libusb download channel against fake handsets answering real usbfs
// ioctls in a umockdev test bed.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "pda/pdaguid.h"
#include "pda/usbinterface.h"
#include "platform/linuxdeviceprovider.h"
#include "platform/linuxusb/libusbinterfacebackend.h"
#include "tests/platform/linuxusb/fakeusbbus.h"

namespace tw {
namespace {

// The trace goes to stderr, where a test reads what the channel said.
const bool kTraceOn = ::setenv("TIDEWELL_TRACE", "1", 1) == 0;

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class LibusbChannel : public ::testing::Test {
 protected:
  LibusbChannel() : interfaces(CUsbIdRules({{UsbMatchRule::Use::Download, 0xffff, 0x0352, 0}})) {}

  std::unique_ptr<IByteDevice> OpenFirst(std::string* error = nullptr) {
    auto paths = interfaces.Enumerate();
    if (paths.empty()) {
      return nullptr;
    }
    return interfaces.Open(paths[0], error);
  }

  // Reads exactly n bytes, waiting for each piece.
  Bytes ReadAll(IByteDevice& device, std::size_t n) {
    Bytes got;
    while (got.size() < n && device.WaitReceive(5000) == 1) {
      Bytes piece(n - got.size());
      long count = device.Read(piece.data(), piece.size());
      got.insert(got.end(), piece.begin(), piece.begin() + std::max(count, 0L));
    }
    return got;
  }

  test::FakeUsbBus bus;
  CLibusbInterfaceBackend interfaces;
};

TEST_F(LibusbChannel, EnumeratesMatchingDevicesInBusAndPortOrder) {
  bus.AddDevice({.bus = 1, .ports = "3"});
  bus.AddDevice({.bus = 2, .ports = "1"});
  bus.AddDevice({.bus = 1, .ports = "4", .pid = 0x9999});  // not a handset
  bus.AddDevice({.bus = 1, .ports = "2"});
  EXPECT_EQ(interfaces.Enumerate(), (std::vector<std::string>{"usb:1-2:0", "usb:1-3:0", "usb:2-1:0"}));
}

TEST_F(LibusbChannel, RuleChoosesTheInterface) {
  CLibusbInterfaceBackend second(CUsbIdRules({{UsbMatchRule::Use::Download, 0xffff, 0x0400, 1}}));
  auto& device = bus.AddDevice({.bus = 1, .ports = "5", .pid = 0x0400, .interfaceNumber = 1});
  ASSERT_EQ(second.Enumerate(), std::vector<std::string>{"usb:1-5:1"});
  std::string error;
  auto channel = second.Open("usb:1-5:1", &error);
  ASSERT_TRUE(channel) << error;
  EXPECT_TRUE(device.Claimed());
}

TEST_F(LibusbChannel, OpenIsExclusiveUntilClosed) {
  auto& device = bus.AddDevice({});
  std::string error;
  auto first = OpenFirst(&error);
  ASSERT_TRUE(first) << error;
  EXPECT_TRUE(device.Claimed());

  auto second = OpenFirst(&error);
  EXPECT_FALSE(second);
  EXPECT_EQ(error, "usb:1-2:0: in use by another program (LIBUSB_ERROR_BUSY)");
  EXPECT_EQ(errno, EBUSY);

  first.reset();
  EXPECT_FALSE(device.Claimed()) << "closing gives the interface back";
  auto again = OpenFirst(&error);
  EXPECT_TRUE(again) << error;
}

TEST_F(LibusbChannel, KernelDriverLetsGoWhileOpenAndTakesItBackOnClose) {
  auto& device = bus.AddDevice({});
  device.SetKernelDriver("cdc_acm");
  std::string error;
  auto channel = OpenFirst(&error);
  ASSERT_TRUE(channel) << error;
  EXPECT_FALSE(device.KernelDriverAttached());
  EXPECT_TRUE(device.Claimed());
  channel.reset();
  EXPECT_TRUE(device.KernelDriverAttached());
  EXPECT_FALSE(device.Claimed());
}

TEST_F(LibusbChannel, OpenFailuresSayWhy) {
  struct Case {
    const char* path;
    const char* error;
  };
  bus.AddDevice({.ports = "2"});
  const Case cases[] = {
      {"/dev/ttyACM0", "not a USB interface path: /dev/ttyACM0"},
      {"usb:1-7:0", "no USB device at usb:1-7:0"},
      {"usb:1-2:3", "interface 3 of usb:1-2:3 has no bulk IN and OUT endpoints"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(interfaces.Open(c.path, &error)) << c.path;
    EXPECT_EQ(error, c.error);
  }
}

TEST_F(LibusbChannel, WriteReachesTheHandset) {
  auto& device = bus.AddDevice({});
  auto channel = OpenFirst();
  ASSERT_TRUE(channel);
  Bytes hello = {0x0A, 0x01, 0x02, 0x03, 0xFF};
  EXPECT_TRUE(channel->Write(hello.data(), hello.size(), 5000));
  Bytes big(100000);
  for (std::size_t i = 0; i < big.size(); ++i) {
    big[i] = static_cast<std::uint8_t>(i * 7);
  }
  EXPECT_TRUE(channel->Write(big.data(), big.size(), 5000));
  Bytes expected = hello;
  expected.insert(expected.end(), big.begin(), big.end());
  EXPECT_EQ(device.Written(), expected);
}

TEST_F(LibusbChannel, ReadTakesOnlyWhatWaitsAndLeavesTheRest) {
  auto& device = bus.AddDevice({});
  auto channel = OpenFirst();
  ASSERT_TRUE(channel);
  Bytes sixteen(16);
  for (int i = 0; i < 16; ++i) {
    sixteen[i] = static_cast<std::uint8_t>(0xA0 + i);
  }
  device.QueueIn(sixteen);
  ASSERT_EQ(channel->WaitReceive(5000), 1);
  EXPECT_EQ(channel->BytesWaiting(), 16);

  Bytes buffer(12);
  ASSERT_EQ(channel->Read(buffer.data(), 12), 12);
  EXPECT_EQ(buffer, Bytes(sixteen.begin(), sixteen.begin() + 12));
  ASSERT_EQ(channel->Read(buffer.data(), 12), 4) << "the rest waits for the next read";
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4), Bytes(sixteen.begin() + 12, sixteen.end()));
  EXPECT_EQ(channel->Read(buffer.data(), 12), 0);
  EXPECT_EQ(channel->BytesWaiting(), 0);
}

TEST_F(LibusbChannel, WaitEndsWithTheFirstByte) {
  auto& device = bus.AddDevice({});
  auto channel = OpenFirst();
  ASSERT_TRUE(channel);
  EXPECT_EQ(channel->WaitReceive(20), 0) << "a silent handset lets the wait run out";

  auto sender = std::async(std::launch::async, [&] {
    device.WaitReadPending(5s);
    std::this_thread::sleep_for(50ms);
    device.QueueIn({0x0A});
  });
  EXPECT_EQ(channel->WaitReceive(10000), 1);
  sender.get();
  Bytes one(4);
  EXPECT_EQ(channel->Read(one.data(), one.size()), 1);
  EXPECT_EQ(one[0], 0x0A);
}

TEST_F(LibusbChannel, EchoingHandsetKeepsOrderOverManyExchanges) {
  auto& device = bus.AddDevice({});
  device.SetResponder([](const Bytes& out) { return out; });
  auto channel = OpenFirst();
  ASSERT_TRUE(channel);
  for (int i = 0; i < 200; ++i) {
    Bytes record(1 + i % 37, static_cast<std::uint8_t>(i));
    ASSERT_TRUE(channel->Write(record.data(), record.size(), 5000));
    ASSERT_EQ(ReadAll(*channel, record.size()), record) << "exchange " << i;
  }
}

TEST_F(LibusbChannel, StalledHandsetEndsTheWriteAtItsTimeOut) {
  auto& device = bus.AddDevice({});
  auto channel = OpenFirst();
  ASSERT_TRUE(channel);
  device.SetStalled(true);
  Bytes record(1012, 0x33);
  EXPECT_FALSE(channel->Write(record.data(), record.size(), 100)) << "a write that was not taken fails";
  EXPECT_TRUE(device.Written().empty());

  device.SetStalled(false);
  EXPECT_TRUE(channel->Write(record.data(), record.size(), 5000)) << "the channel still works afterwards";
  EXPECT_EQ(device.Written(), record);
}

TEST_F(LibusbChannel, RemovalEndsAWriteTheHandsetHasNotTaken) {
  auto& device = bus.AddDevice({});
  auto channel = OpenFirst();
  ASSERT_TRUE(channel);
  device.SetStalled(true);
  Bytes record(1012, 0x44);
  auto writing =
      std::async(std::launch::async, [&] { return channel->Write(record.data(), record.size(), 60000); });
  ASSERT_TRUE(device.WaitWritePending(5s)) << "the stalled handset holds the write";
  bus.RemoveDevice(device);
  EXPECT_FALSE(writing.get());
  EXPECT_EQ(channel->BytesWaiting(), -1);
}

TEST_F(LibusbChannel, RemovalEndsAWaitingReadAndLaterCalls) {
  auto& device = bus.AddDevice({});
  auto channel = OpenFirst();
  ASSERT_TRUE(channel);
  auto waiting = std::async(std::launch::async, [&] { return channel->WaitReceive(60000); });
  ASSERT_TRUE(device.WaitReadPending(5s));
  bus.RemoveDevice(device);
  EXPECT_EQ(waiting.get(), -1);

  Bytes buffer(4);
  EXPECT_EQ(channel->BytesWaiting(), -1);
  EXPECT_EQ(channel->Read(buffer.data(), buffer.size()), -1);
  EXPECT_FALSE(channel->Write(buffer.data(), buffer.size(), 5000));
  channel.reset();  // closing a vanished device neither hangs nor crashes
}

// Receive transfers are always out; a handset that never gives them back,
// not even when cancelled, leaves them with libusb at the close: the close
// ends in its bounded wait, says so, and frees nothing libusb still holds.
TEST_F(LibusbChannel, CloseLeavesTransfersThatNeverCameBackToLibusb) {
  auto& device = bus.AddDevice({});
  auto channel = OpenFirst();
  ASSERT_TRUE(channel);
  ASSERT_TRUE(device.WaitReadPending(5s));
  device.SetNeverAnswers(true);
  ::testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  channel.reset();
  const auto took = std::chrono::steady_clock::now() - start;
  const std::string trace = ::testing::internal::GetCapturedStderr();
  EXPECT_LT(took, 30s) << "the close is bounded";
  EXPECT_NE(trace.find("receive transfer(s) did not come back after the cancel; left to libusb, not freed"),
            std::string::npos)
      << trace;
  // The device opens again afterwards.
  device.SetNeverAnswers(false);
  EXPECT_TRUE(OpenFirst());
}

// Two handsets through CUsbInterface: slot k opens the first free one among
// member indices 0..k, in bus and port order.
TEST_F(LibusbChannel, SlotsOpenHandsetsByClassAndIndex) {
  auto& second = bus.AddDevice({.ports = "5"});
  auto& first = bus.AddDevice({.ports = "1"});
  CPortTable ports;
  CLinuxDeviceProvider provider(ports);
  provider.AddInterfaceBackend(GUID_PDA_DOWNLOAD_INTERFACE,
                               std::make_unique<CLibusbInterfaceBackend>(
                                   CUsbIdRules({{UsbMatchRule::Use::Download, 0xffff, 0x0352, 0}})));
  CUsbInterface slot0(&provider);
  CUsbInterface slot1(&provider);
  ASSERT_TRUE(slot0.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 0));
  EXPECT_STREQ(slot0.DevicePath(), "usb:1-1:0");
  EXPECT_TRUE(first.Claimed());
  EXPECT_FALSE(slot1.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 0)) << "index 0 is held by slot 0";
  ASSERT_TRUE(slot1.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 1));
  EXPECT_STREQ(slot1.DevicePath(), "usb:1-5:0");
  EXPECT_TRUE(second.Claimed());

  // Bytes go to the handset each slot holds.
  const std::uint8_t hello[] = {0x0A, 0x00};
  EXPECT_EQ(slot1.Write(hello, sizeof hello), sizeof hello);
  EXPECT_EQ(second.Written(), Bytes(hello, hello + 2));
  EXPECT_TRUE(first.Written().empty());
  first.QueueIn({1, 2, 3});
  std::uint8_t got[12] = {};
  EXPECT_EQ(slot0.Read(got, sizeof got), 3u) << "three waiting, twelve asked: three read";

  slot0.Close();
  EXPECT_FALSE(first.Claimed());
  EXPECT_EQ(slot0.Read(got, sizeof got), 0u) << "a closed interface reads nothing at once";
}

}  // namespace
}  // namespace tw
