#include "pda/usbinterface.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pda/pdaguid.h"
#include "platform/linuxdeviceprovider.h"
#include "platform/ttydevice.h"
#include "platform/ttyinterfacebackend.h"
#include "tests/cli/childprocess.h"
#include "tests/platform/envsetting.h"
#include "tests/platform/fakedevice.h"
#include "tests/platform/later.h"
#include "tests/platform/ptypair.h"

namespace tw {
namespace {

using test::PtyPair;
using test::TempDir;

// The device's answer must come well before the read's own bound of 200
// passes: a much longer call shows a wait that was not ended.
constexpr auto kPromptly = std::chrono::seconds(5);

// The reply quiet time of these tests: long enough that a loaded machine
// never stretches a piece's gap beyond it.
constexpr int kQuietMs = 200;

[[maybe_unused]] ::testing::Environment* const kQuietTime = ::testing::AddGlobalTestEnvironment(
    new test::EnvSetting("TIDEWELL_REPLY_QUIET_MS", std::to_string(kQuietMs)));

TEST(PdaGuidTest, HasTheWindowsMemoryLayout) {
  const unsigned char bytes[16] = {0x51, 0xCE, 0xDB, 0x25, 0x8F, 0x6C, 0x72, 0x4A,
                                   0x8A, 0x6D, 0xB5, 0x4C, 0x2B, 0x4F, 0xC8, 0x35};
  static_assert(sizeof(GUID) == 16);
  EXPECT_EQ(std::memcmp(&GUID_PDA_DOWNLOAD_INTERFACE, bytes, 16), 0);
}

// Three handsets announced in a device directory as pda0, pda1, pda2.
class UsbInterfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(handsets[i].Ok());
    }
    provider.AddInterfaceBackend(GUID_PDA_DOWNLOAD_INTERFACE,
                                 std::make_unique<CTtyInterfaceBackend>(dir.Path()));
    usb.SetProvider(&provider);
    usb.SetConsole([this](const std::string& text) { console += text; });
  }
  void Announce(int i) { ASSERT_TRUE(dir.Link("pda" + std::to_string(i), handsets[i].SlavePath())); }
  BOOL OpenCapturing(int nMaxIndex, std::string* out) {
    console.clear();
    BOOL opened = usb.Open(&GUID_PDA_DOWNLOAD_INTERFACE, nMaxIndex);
    *out = console;
    return opened;
  }

  TempDir dir;
  PtyPair handsets[3];
  CPortTable ports;
  CLinuxDeviceProvider provider{ports};
  CUsbInterface usb;
  std::string console;  // what the opens said
};

TEST_F(UsbInterfaceTest, OpenTriesIndicesInOrderAndKeepsTheFirstThatOpens) {
  Announce(0);
  Announce(2);
  ASSERT_TRUE(dir.Link("pda1", dir / "nowhere"));
  auto held = CTtyDevice::Open(handsets[0].SlavePath(), nullptr);  // another slot holds pda0
  ASSERT_NE(held, nullptr);

  std::string out;
  EXPECT_EQ(OpenCapturing(1, &out), FALSE);
  EXPECT_FALSE(usb.IsOpen());
  EXPECT_EQ(out, "Attempting to open " + dir / "pda0" + "\nFAILED to open " + dir / "pda0" +
                     "\nAttempting to open " + dir / "pda1" + "\nFAILED to open " + dir / "pda1" + "\n");

  EXPECT_EQ(OpenCapturing(2, &out), TRUE);
  EXPECT_TRUE(usb.IsOpen());
  EXPECT_STREQ(usb.DevicePath(), (dir / "pda2").c_str());
  EXPECT_NE(out.find("Attempting to open " + dir / "pda2" + "\n"), std::string::npos);
  EXPECT_EQ(out.find("FAILED to open " + dir / "pda2"), std::string::npos);
}

// A handset that another program holds is reported once, with that program,
// and then tried quietly until it comes free.
TEST_F(UsbInterfaceTest, AHandsetHeldByAnotherProgramIsReportedOnce) {
  Announce(0);
  test::ChildProcess holder({"/usr/bin/flock", "--close", handsets[0].SlavePath(), "sleep", "20"},
                            "/dev/null", "/dev/null");
  ASSERT_TRUE(holder.Started());
  std::string out;
  for (int i = 0; i < 500 && OpenCapturing(0, &out); ++i) {
    usb.Close();  // not locked yet
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(usb.IsOpen());
  EXPECT_TRUE(usb.DeviceHeld());
  EXPECT_EQ(out, "Attempting to open " + dir / "pda0" + "\nFAILED to open " + dir / "pda0" +
                     ": in use by process " + std::to_string(holder.Pid()) +
                     " (flock); waiting until it is free\n");
  EXPECT_EQ(OpenCapturing(0, &out), FALSE);
  EXPECT_EQ(out, "") << "said once";
  EXPECT_TRUE(usb.DeviceHeld());

  holder.Terminate();
  ASSERT_EQ(holder.Wait(10), -2);
  EXPECT_EQ(OpenCapturing(0, &out), TRUE);
  EXPECT_FALSE(usb.DeviceHeld());
}

TEST_F(UsbInterfaceTest, MaxIndexZeroTriesIndexZeroOnly) {
  Announce(0);
  Announce(1);
  auto held = CTtyDevice::Open(handsets[0].SlavePath(), nullptr);
  std::string out;
  EXPECT_EQ(OpenCapturing(0, &out), FALSE);
  EXPECT_EQ(out.find("pda1"), std::string::npos) << out;
  held.reset();
  EXPECT_EQ(OpenCapturing(0, &out), TRUE);
}

TEST_F(UsbInterfaceTest, SecondSlotTakesTheSecondHandsetWhileTheFirstIsHeld) {
  Announce(0);
  Announce(1);
  CUsbInterface slot0(&provider);
  std::string out;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(slot0.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 0), TRUE);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(OpenCapturing(1, &out), TRUE);
  EXPECT_STREQ(usb.DevicePath(), (dir / "pda1").c_str());
}

// The interface whose arrival a slot took is tried first; one that is gone
// leaves the order as it was.
TEST_F(UsbInterfaceTest, APreferredInterfaceIsTriedFirst) {
  Announce(0);
  Announce(1);
  Announce(2);
  EXPECT_EQ(usb.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 7, dir / "pda2"), TRUE);
  EXPECT_STREQ(usb.DevicePath(), (dir / "pda2").c_str());
  EXPECT_EQ(usb.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 7, dir / "pda9"), TRUE);
  EXPECT_STREQ(usb.DevicePath(), (dir / "pda0").c_str());
}

TEST_F(UsbInterfaceTest, OpenOfAnOpenObjectLetsGoOfTheOldDeviceFirst) {
  Announce(0);
  std::string out;
  ASSERT_EQ(OpenCapturing(0, &out), TRUE);
  // Only pda0 exists: the second Open can only succeed if the first handle was closed.
  EXPECT_EQ(OpenCapturing(0, &out), TRUE);
  EXPECT_EQ(out, "Attempting to open " + dir / "pda0" + "\n");
}

TEST_F(UsbInterfaceTest, ReadReturnsOnlyWhatWaitsAndLeavesTheRestQueued) {
  Announce(0);
  std::string out;
  ASSERT_EQ(OpenCapturing(0, &out), TRUE);
  struct Case {
    std::size_t sent;
    std::vector<DWORD> reads;  // nMaxBytes of each read
    std::vector<DWORD> got;    // what each returns
  };
  const Case cases[] = {
      {16, {12, 12}, {12, 4}},
      {3, {12}, {3}},
      {1, {1}, {1}},
      {32, {32}, {32}},
  };
  unsigned char next = 0;
  for (const Case& c : cases) {
    std::vector<unsigned char> bytes(c.sent);
    for (auto& b : bytes) {
      b = next++;
    }
    ASSERT_TRUE(handsets[0].Send(bytes));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the whole message is queued
    std::vector<unsigned char> received;
    for (std::size_t r = 0; r < c.reads.size(); ++r) {
      unsigned char buffer[64] = {};
      DWORD n = usb.Read(buffer, c.reads[r]);
      EXPECT_EQ(n, c.got[r]) << "sent " << c.sent << ", read " << r;
      received.insert(received.end(), buffer, buffer + n);
    }
    EXPECT_EQ(received, bytes);
  }
}

// A reply read as one message is completed from the pieces that follow
// within the quiet time; a message that stays short is returned short after
// it, and bytes beyond the message stay queued.
TEST_F(UsbInterfaceTest, ReadReplyCompletesAMessageThatArrivesInPieces) {
  Announce(0);
  std::string out;
  ASSERT_EQ(OpenCapturing(0, &out), TRUE);
  using Bytes = std::vector<unsigned char>;
  struct Case {
    std::vector<Bytes> pieces;  // sent 20 ms apart
    DWORD nSize;
    DWORD got;
    bool bWaitsQuietTime;  // the read ends only after the quiet time (else: with its last piece)
  };
  const Case cases[] = {
      {{{1, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0, 0}}, 12, 12, false},
      {{{1}, {2}, {3}, {4}}, 4, 4, false},
      {{{1, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 9, 9}}, 16, 16, false},
      {{{1, 2, 3}}, 12, 3, true},
  };
  for (const Case& c : cases) {
    Bytes whole;
    for (const Bytes& piece : c.pieces) whole.insert(whole.end(), piece.begin(), piece.end());
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<test::Later>> senders;
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
      senders.push_back(
          std::make_unique<test::Later>(static_cast<int>(20 * i), [&, i] { handsets[0].Send(c.pieces[i]); }));
    }
    unsigned char buffer[32] = {};
    const DWORD n = usb.ReadReply(buffer, c.nSize);
    const auto took = std::chrono::steady_clock::now() - start;
    senders.clear();
    EXPECT_EQ(n, c.got) << "message of " << whole.size();
    EXPECT_EQ(Bytes(buffer, buffer + n), Bytes(whole.begin(), whole.begin() + n));
    if (c.bWaitsQuietTime) {  // (a poll may end a little before its time-out)
      EXPECT_GE(took, std::chrono::milliseconds(kQuietMs * 3 / 4));
    }
    // What lies beyond the message is the next read's.
    if (whole.size() > n) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      EXPECT_EQ(usb.Read(buffer, sizeof buffer), whole.size() - n);
    }
  }
}

TEST_F(UsbInterfaceTest, ReadWaitsForTheFirstByte) {
  Announce(0);
  std::string out;
  ASSERT_EQ(OpenCapturing(0, &out), TRUE);
  test::Later hello(100, [&] { handsets[0].Send({0x0A}); });
  unsigned char buffer[12] = {};
  EXPECT_EQ(usb.Read(buffer, 12), 1u);
  EXPECT_EQ(buffer[0], 0x0A);
}

TEST_F(UsbInterfaceTest, EveryByteValueCrossesBothWays) {
  Announce(0);
  std::string out;
  ASSERT_EQ(OpenCapturing(0, &out), TRUE);
  const std::vector<unsigned char> bytes = test::AllByteValues();
  EXPECT_EQ(usb.Write(bytes.data(), static_cast<DWORD>(bytes.size())), bytes.size());
  EXPECT_EQ(handsets[0].Receive(bytes.size()), bytes);

  ASSERT_TRUE(handsets[0].Send(bytes));
  std::vector<unsigned char> received;
  while (received.size() < bytes.size()) {
    unsigned char buffer[100];
    DWORD n = usb.Read(buffer, sizeof buffer);
    ASSERT_GT(n, 0u);
    received.insert(received.end(), buffer, buffer + n);
  }
  EXPECT_EQ(received, bytes);
}

TEST_F(UsbInterfaceTest, ClosedObjectReadsAndWritesNothingAtOnce) {
  unsigned char buffer[4] = {1, 2, 3, 4};
  usb.Close();  // never opened
  EXPECT_EQ(usb.Read(buffer, 4), 0u);
  EXPECT_EQ(usb.Write(buffer, 4), 0u);

  Announce(0);
  std::string out;
  ASSERT_EQ(OpenCapturing(0, &out), TRUE);
  usb.Close();
  EXPECT_FALSE(usb.IsOpen());
  EXPECT_EQ(usb.Read(buffer, 4), 0u);
  EXPECT_EQ(usb.Write(buffer, 4), 0u);
  // Closed for real: another holder can have it now.
  EXPECT_NE(CTtyDevice::Open(handsets[0].SlavePath(), nullptr), nullptr);
}

TEST_F(UsbInterfaceTest, DeviceVanishingEndsAReadAndLaterCallsAtOnce) {
  Announce(0);
  std::string out;
  ASSERT_EQ(OpenCapturing(0, &out), TRUE);
  unsigned char buffer[12];
  {
    test::Later unplug(100, [&] { handsets[0].CloseMaster(); });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(usb.Read(buffer, 12), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kPromptly);
  }
  EXPECT_EQ(usb.Read(buffer, 12), 0u);
  EXPECT_EQ(usb.Write(buffer, 12), 0u);
}

TEST_F(UsbInterfaceTest, StopRequestEndsAWaitingRead) {
  Announce(0);
  std::string out;
  ASSERT_EQ(OpenCapturing(0, &out), TRUE);
  std::stop_source stop;
  usb.SetStopToken(stop.get_token());
  test::Later stopper(100, [&] { stop.request_stop(); });
  unsigned char buffer[12];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(usb.Read(buffer, 12), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kPromptly);
}

TEST(UsbInterfaceEdgeTest, OpenNeedsProviderAndClassAndEndsWithTheSet) {
  CUsbInterface usb;
  EXPECT_EQ(usb.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 0), FALSE);
  test::FakeProvider provider;
  provider.interfaces = {"/dev/fake0"};
  usb.SetProvider(&provider);
  EXPECT_EQ(usb.Open(nullptr, 0), FALSE);
  EXPECT_EQ(usb.Open(&GUID_PDA_DOWNLOAD_INTERFACE, -1), FALSE);
  EXPECT_TRUE(provider.opened.empty());
  // A huge index ends with the set.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(usb.Open(&GUID_PDA_DOWNLOAD_INTERFACE, std::numeric_limits<int>::max()), TRUE);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(provider.opened, std::vector<std::string>{"/dev/fake0"});
}

TEST(UsbInterfaceEdgeTest, PathTooLongForTheBufferIsSkippedNotCut) {
  test::FakeProvider provider;
  std::string longPath = "/dev/" + std::string(CUsbInterface::kPathSize, 'x');
  provider.interfaces = {longPath, "/dev/fake1"};
  CUsbInterface usb(&provider);
  std::string out;
  usb.SetConsole([&out](const std::string& text) { out += text; });
  EXPECT_EQ(usb.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 1), TRUE);
  EXPECT_EQ(provider.opened, std::vector<std::string>{"/dev/fake1"});
  EXPECT_STREQ(usb.DevicePath(), "/dev/fake1");
  EXPECT_EQ(out, "Attempting to open /dev/fake1\n");
}

// The interface open on an in-memory device.
class UsbInterfaceOnFakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    provider.interfaces = {"/dev/fake0"};
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(usb.Open(&GUID_PDA_DOWNLOAD_INTERFACE, 0), TRUE);
    ::testing::internal::GetCapturedStdout();
  }
  test::FakeDeviceState& Device() { return *provider.devices.at(0); }

  test::FakeProvider provider;
  CUsbInterface usb{&provider};
};

// A read takes only what waits, never more than there is room for, and
// leaves the rest queued; the device's read never blocks for more.
TEST_F(UsbInterfaceOnFakeTest, ReadTakesOnlyWhatWaitsUpToTheRoom) {
  test::FakeDeviceState& state = Device();
  state.rx = {1, 2, 3, 4, 5};
  unsigned char buffer[16];
  EXPECT_EQ(usb.Read(buffer, 16), 5u);
  state.rx = {1, 2, 3, 4, 5};
  EXPECT_EQ(usb.Read(buffer, 2), 2u);
  EXPECT_EQ(usb.Read(buffer, 0), 0u);
  EXPECT_EQ(state.readSizes, (std::vector<int>{16, 2}));
  EXPECT_EQ(state.rx.size(), 3u);
}

// A channel that delivers every message whole (a bulk USB pipe): a short
// reply is a short message, taken at once without the quiet time.
TEST_F(UsbInterfaceOnFakeTest, ReadReplyTakesAShortMessageOfAWholeMessageChannelAtOnce) {
  test::FakeDeviceState& state = Device();
  state.wholeMessages = true;
  state.rx = {6, 0, 0, 0};
  unsigned char buffer[16];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(usb.ReadReply(buffer, 12), 4u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kQuietMs));
  EXPECT_EQ(state.readSizes, (std::vector<int>{12}));
}

}  // namespace
}  // namespace tw
