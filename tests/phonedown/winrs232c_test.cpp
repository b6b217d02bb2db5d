#include "phonedown/cwinrs232c/winrs232c.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/linuxdeviceprovider.h"
#include "platform/ttydevice.h"
#include "tests/platform/fakedevice.h"
#include "tests/platform/later.h"
#include "tests/platform/ptypair.h"

namespace tw {
namespace {

using test::PtyPair;
using test::TempDir;

// Far below every wait the port may make on its own (5 s writes, 1 s reads):
// a call that takes this long was not ended by what should end it.
constexpr auto kPromptly = std::chrono::seconds(5);

// The modem's port announced in a device directory as COM12.
class WinRs232cTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(modem.Ok());
    ASSERT_TRUE(dir.Link("COM12", modem.SlavePath()));
    ASSERT_EQ(port.Init(), TRUE);
  }
  void OpenPort() { ASSERT_EQ(port.Open("\\\\.\\COM12", 115200, 'N', 8, 0), TRUE) << port.LastError(); }
  // Waits until the port reports received bytes.
  void AwaitReceived() { ASSERT_EQ(port.WaitRxChar(5000), EV_RXCHAR); }

  TempDir dir;
  PtyPair modem;
  CPortTable ports{dir.Path()};
  CLinuxDeviceProvider provider{ports};
  VirtualClock clock;
  CWinRs232cSync port{provider, clock};
};

TEST_F(WinRs232cTest, OpenTakesEveryNameFormAndSettlesFor500Ms) {
  for (const char* name : {"COM12", "COM12:", "\\\\.\\COM12"}) {
    clock.ClearSleeps();
    EXPECT_EQ(port.Open(name, 115200, 'N', 8, 0), TRUE) << name << ": " << port.LastError();
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(clock.Sleeps(), std::vector<std::uint32_t>{500}) << name;
    EXPECT_EQ(port.Close(), TRUE);
  }
}

TEST_F(WinRs232cTest, OpenFailsForNamesWithoutAPortAndSaysWhy) {
  for (const char* name : {"COM#:115200,N,8,0", "COM13:", "LPT1", ""}) {
    EXPECT_EQ(port.Open(name, 115200, 'N', 8, 0), FALSE) << name;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.LastError().empty()) << name;
  }
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST_F(WinRs232cTest, AHeldPortFailsToOpenAndOpensOnceReleased) {
  OpenPort();
  CWinRs232cSync other(provider, clock);
  EXPECT_EQ(other.Open("COM12:", 115200, 'N', 8, 0), FALSE);
  EXPECT_NE(other.LastError().find("in use by this program"), std::string::npos) << other.LastError();
  EXPECT_EQ(port.Close(), TRUE);
  EXPECT_EQ(other.Open("COM12:", 115200, 'N', 8, 0), TRUE) << other.LastError();
}

TEST_F(WinRs232cTest, OpenOfAnOpenPortLetsGoOfTheOldHandleFirst) {
  OpenPort();
  OpenPort();  // only one COM12 exists: this can only work if the first handle was closed
  EXPECT_TRUE(port.IsOpen());
}

TEST_F(WinRs232cTest, ReadWithNothingWaitingReturnsZeroAtOnce) {
  OpenPort();
  unsigned char buffer[16];
  EXPECT_EQ(port.Read(buffer, 0), 0u);
}

TEST_F(WinRs232cTest, ReadForACountDeliversBytesThatArriveAfterItWasIssued) {
  OpenPort();
  test::Later answer(50, [&] {
    modem.Send({0x7E, 0x02});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    modem.Send({0x6A, 0xD3, 0x7E});
  });
  unsigned char buffer[5] = {};
  EXPECT_EQ(port.Read(buffer, 5), 5u);
  EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 5),
            (std::vector<unsigned char>{0x7E, 0x02, 0x6A, 0xD3, 0x7E}));
}

TEST_F(WinRs232cTest, EveryByteValueCrossesBothWays) {
  OpenPort();
  const std::vector<unsigned char> bytes = test::AllByteValues();
  EXPECT_EQ(port.Write(bytes.data(), static_cast<DWORD>(bytes.size())), TRUE);
  EXPECT_EQ(modem.Receive(bytes.size()), bytes);

  ASSERT_TRUE(modem.Send(bytes));
  std::vector<unsigned char> received;
  while (received.size() < bytes.size() && port.WaitRxChar(5000) == EV_RXCHAR) {
    unsigned char buffer[CWinRs232cSync::kReadBufferSize];
    DWORD n = port.Read(buffer, 0);
    received.insert(received.end(), buffer, buffer + n);
  }
  EXPECT_EQ(received, bytes);
}

TEST_F(WinRs232cTest, ReadsOfWhatWaitsLoseNothingOfALongAnswer) {
  OpenPort();
  std::vector<unsigned char> bytes(12000);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(i % 253);
  }
  std::thread send([&] { modem.Send(bytes); });
  std::vector<unsigned char> received;
  while (received.size() < bytes.size() && port.WaitRxChar(5000) == EV_RXCHAR) {
    unsigned char buffer[CWinRs232cSync::kReadBufferSize];
    DWORD n = port.Read(buffer, 0);
    ASSERT_LE(n, CWinRs232cSync::kReadBufferSize);
    received.insert(received.end(), buffer, buffer + n);
  }
  send.join();
  EXPECT_EQ(received, bytes);
}

TEST_F(WinRs232cTest, ReceiveWaitReportsACharacterOrEndsWithMaskZero) {
  OpenPort();
  EXPECT_EQ(port.WaitRxChar(30), 0u);  // silent: the bound ends it
  port.SetRxWaitTimeout(30);
  EXPECT_EQ(port.WaitRxChar(), 0u);
  ASSERT_TRUE(modem.Send({0x02}));
  EXPECT_EQ(port.WaitRxChar(), EV_RXCHAR);
  EXPECT_EQ(port.WaitRxChar(), EV_RXCHAR);  // still waiting to be read
}

TEST_F(WinRs232cTest, HangUpEndsAReceiveWaitAtOnce) {
  OpenPort();
  {
    test::Later unplug(100, [&] { modem.CloseMaster(); });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.WaitRxChar(60'000), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kPromptly);
  }

  unsigned char buffer[8] = {};
  EXPECT_EQ(port.WaitRxChar(60'000), 0u);
  EXPECT_EQ(port.Read(buffer, 0), 0u);
  EXPECT_EQ(port.Read(buffer, 8), 0u);
  EXPECT_EQ(port.Write(buffer, 8), FALSE);
}

TEST_F(WinRs232cTest, HangUpEndsAReadForACountAtOnce) {
  OpenPort();
  test::Later unplug(50, [&] {
    modem.Send({1, 2});
    modem.CloseMaster();
  });
  unsigned char buffer[8];
  auto start = std::chrono::steady_clock::now();
  EXPECT_LE(port.Read(buffer, 8), 2u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kPromptly);
}

TEST_F(WinRs232cTest, StopRequestEndsTheReceiveWait) {
  OpenPort();
  std::stop_source stop;
  port.SetStopToken(stop.get_token());
  test::Later stopper(100, [&] { stop.request_stop(); });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port.WaitRxChar(60'000), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kPromptly);
}

TEST_F(WinRs232cTest, CloseOfAPortNeverOpenedFailsAndChangesNothing) {
  EXPECT_EQ(port.Close(), FALSE);
  EXPECT_FALSE(port.IsOpen());
  OpenPort();
  EXPECT_EQ(port.Close(), TRUE);
  EXPECT_EQ(port.Close(), FALSE);
  unsigned char buffer[4] = {};
  EXPECT_EQ(port.Read(buffer, 0), 0u);
  EXPECT_EQ(port.Write(buffer, 4), FALSE);
  EXPECT_EQ(port.WaitRxChar(60'000), 0u);
  // Released for real.
  EXPECT_NE(CTtyDevice::Open(modem.SlavePath(), nullptr), nullptr);
}

// The cases a pseudo-terminal cannot show, over an in-memory device.
class WinRs232cFakeTest : public ::testing::Test {
 protected:
  test::FakeProvider provider;
  VirtualClock clock;
  CWinRs232cSync port{provider, clock};
};

TEST_F(WinRs232cFakeTest, MoreThan5000WaitingIsReadIn5000ByteSteps) {
  ASSERT_EQ(port.Init(), TRUE);
  ASSERT_EQ(port.Open("COM3:", 115200, 'N', 8, 0), TRUE);
  auto& state = *provider.devices.at(0);
  for (int i = 0; i < 7000; ++i) {
    state.rx.push_back(static_cast<unsigned char>(i));
  }
  std::vector<unsigned char> buffer(8000);
  EXPECT_EQ(port.Read(buffer.data(), 0), 5000u);
  EXPECT_EQ(buffer[4999], static_cast<unsigned char>(4999));
  EXPECT_EQ(state.rx.size(), 2000u);
  EXPECT_EQ(port.Read(buffer.data(), 0), 2000u);
  EXPECT_EQ(buffer[0], static_cast<unsigned char>(5000));
  // A count above the buffer's size is held to it too.
  state.rx.assign(6000, 0x55);
  EXPECT_EQ(port.Read(buffer.data(), 6000), 5000u);
}

// The read time-out runs on the port's clock: moving a virtual clock past
// it ends a read for a count that is still short.
TEST_F(WinRs232cFakeTest, ReadForACountEndsWhenItsClockPassesTheTimeOut) {
  ASSERT_EQ(port.Open("COM3:", 115200, 'N', 8, 0), TRUE);
  auto& state = *provider.devices.at(0);
  state.rx = {1, 2, 3};
  state.onWait = [this](int) { clock.Advance(60'000); };
  std::vector<unsigned char> buffer(10);
  EXPECT_EQ(port.Read(buffer.data(), 10), 3u);
  EXPECT_LE(state.waits.size(), 2u) << "ended by the clock, not by waiting out the time-out";
  state.waits.clear();
  EXPECT_EQ(port.WaitRxChar(60'000), 0u);
  EXPECT_LE(state.waits.size(), 2u) << "the receive wait too";
}

TEST_F(WinRs232cFakeTest, SetUpFailureClosesThePortBeforeOpenFails) {
  provider.goneAtOpen = true;
  EXPECT_EQ(port.Open("COM3:", 115200, 'N', 8, 0), FALSE);
  EXPECT_FALSE(port.IsOpen());
  ASSERT_EQ(provider.devices.size(), 1u);
  EXPECT_TRUE(provider.devices[0]->destroyed);
  EXPECT_TRUE(clock.Sleeps().empty());
  EXPECT_EQ(port.Close(), FALSE);

  provider.goneAtOpen = false;
  EXPECT_EQ(port.Open("COM3:", 115200, 'N', 8, 0), TRUE);
}

TEST_F(WinRs232cFakeTest, SharingViolationIsRetriedOnceOtherFailuresAreNot) {
  struct Case {
    std::vector<int> failures;
    BOOL opened;
    std::size_t attempts;
  };
  const Case cases[] = {
      {{EBUSY}, TRUE, 2},   {{EWOULDBLOCK}, TRUE, 2}, {{EBUSY, EBUSY}, FALSE, 2},
      {{ENOENT}, FALSE, 1}, {{EACCES}, FALSE, 1},
  };
  for (const Case& c : cases) {
    test::FakeProvider fresh;
    fresh.failures = c.failures;
    CWinRs232cSync serial(fresh, clock);
    EXPECT_EQ(serial.Open("COM3:", 115200, 'N', 8, 0), c.opened) << c.failures.front();
    EXPECT_EQ(fresh.opened.size(), c.attempts) << c.failures.front();
  }
}

TEST_F(WinRs232cFakeTest, ReadWithoutInitDoesNoHarm) {
  ASSERT_EQ(port.Open("COM3:", 115200, 'N', 8, 0), TRUE);
  provider.devices.at(0)->rx = {9, 8, 7};
  unsigned char buffer[3] = {};
  EXPECT_EQ(port.Read(buffer, 0), 3u);
  EXPECT_EQ(buffer[2], 7);
}

TEST(WinRs232cProviderTest, WithoutAProviderOpenFails) {
  CWinRs232cSync port;
  ASSERT_EQ(port.Init(), TRUE);
  EXPECT_EQ(port.Open("COM3:", 115200, 'N', 8, 0), FALSE);
  EXPECT_FALSE(port.LastError().empty());
}

// A clock that only notes which stop token each sleep was given.
class StopNotingClock final : public IClock {
 public:
  bool Sleep(std::uint32_t, std::stop_token stop) override {
    sawStop.push_back(stop.stop_requested());
    return !stop.stop_requested();
  }
  std::uint32_t GetTickCount() override { return 0; }
  std::vector<bool> sawStop;
};

TEST(WinRs232cProviderTest, OpensPauseObservesTheStopRequest) {
  test::FakeProvider provider;
  StopNotingClock clock;
  CWinRs232cSync port(provider, clock);
  std::stop_source stop;
  port.SetStopToken(stop.get_token());
  EXPECT_EQ(port.Open("COM3:", 115200, 'N', 8, 0), TRUE);
  stop.request_stop();
  EXPECT_EQ(port.Open("COM3:", 115200, 'N', 8, 0), TRUE);
  EXPECT_EQ(clock.sawStop, (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace tw
