#include "platform/ttydevice.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/processes.h"
#include "tests/cli/childprocess.h"
#include "tests/platform/later.h"
#include "tests/platform/ptypair.h"

namespace tw {
namespace {

using test::PtyPair;
using test::TempDir;

int OpenFdCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) {
      ++count;
    }
    closedir(dir);
  }
  return count;
}

// Reads from the device until n bytes came or a wait found nothing.
std::vector<unsigned char> ReadAll(IByteDevice& device, std::size_t n) {
  std::vector<unsigned char> got;
  while (got.size() < n && device.WaitReceive(2000) == 1) {
    unsigned char chunk[1024];
    long r = device.Read(chunk, std::min(sizeof chunk, n - got.size()));
    if (r < 0) {
      break;
    }
    got.insert(got.end(), chunk, chunk + r);
  }
  return got;
}

class TtyDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Ok());
    device = CTtyDevice::Open(pty.SlavePath(), &error);
    ASSERT_NE(device, nullptr) << error;
  }
  PtyPair pty;
  std::string error;
  std::unique_ptr<CTtyDevice> device;
};

TEST_F(TtyDeviceTest, EveryByteValueCrossesBothWaysUnchanged) {
  const std::vector<unsigned char> bytes = test::AllByteValues();
  ASSERT_TRUE(device->Write(bytes.data(), bytes.size(), 2000));
  EXPECT_EQ(pty.Receive(bytes.size()), bytes);

  ASSERT_TRUE(pty.Send(bytes));
  EXPECT_EQ(ReadAll(*device, bytes.size()), bytes);
}

TEST_F(TtyDeviceTest, NothingWaitingReadsZeroWithoutBlocking) {
  unsigned char buffer[8];
  EXPECT_EQ(device->BytesWaiting(), 0);
  EXPECT_EQ(device->Read(buffer, sizeof buffer), 0);
  EXPECT_EQ(device->WaitReceive(0), 0);
}

TEST_F(TtyDeviceTest, ReadTakesAtMostWhatIsAskedAndLeavesTheRest) {
  ASSERT_TRUE(pty.Send(std::vector<unsigned char>(16, 0x5A)));
  ASSERT_EQ(device->WaitReceive(2000), 1);
  while (device->BytesWaiting() < 16) {
    ASSERT_EQ(device->WaitReceive(2000), 1);
  }
  unsigned char buffer[16];
  EXPECT_EQ(device->Read(buffer, 12), 12);
  EXPECT_EQ(device->BytesWaiting(), 4);
  EXPECT_EQ(device->Read(buffer, 12), 4);
}

TEST_F(TtyDeviceTest, PurgeDropsReceivedBytes) {
  ASSERT_TRUE(pty.Send({1, 2, 3}));
  ASSERT_EQ(device->WaitReceive(2000), 1);
  device->Purge();
  EXPECT_EQ(device->BytesWaiting(), 0);
}

TEST_F(TtyDeviceTest, SecondOpenOfAHeldDeviceFailsUntilItIsClosed) {
  std::string second;
  errno = 0;
  EXPECT_EQ(CTtyDevice::Open(pty.SlavePath(), &second), nullptr);
  EXPECT_EQ(errno, EALREADY) << "held by this program";
  EXPECT_EQ(second, pty.SlavePath() + ": in use by this program");

  device.reset();
  EXPECT_NE(CTtyDevice::Open(pty.SlavePath(), &second), nullptr) << second;
}

// The holder that /proc/locks shows is named: here flock(1), which locks the
// device as an upgrader's exclusive open does.
TEST_F(TtyDeviceTest, AHolderInAnotherProcessIsNamed) {
  device.reset();
  // --close: the lock stays with flock itself, so that ending it frees the device.
  test::ChildProcess holder({"/usr/bin/flock", "--close", pty.SlavePath(), "sleep", "20"}, "/dev/null",
                            "/dev/null");
  ASSERT_TRUE(holder.Started());
  std::string error;
  std::unique_ptr<CTtyDevice> second;
  for (int i = 0; i < 500 && (second = CTtyDevice::Open(pty.SlavePath(), &error)); ++i) {
    second.reset();  // not locked yet
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(second, nullptr);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_EQ(error, pty.SlavePath() + ": in use by process " + std::to_string(holder.Pid()) + " (flock)");
  holder.Terminate();
}

TEST_F(TtyDeviceTest, HangUpEndsEveryCallAtOnce) {
  {
    test::Later vanish(50, [&] { pty.CloseMaster(); });
    // The wait is far longer than the test may take: only the hang-up can end it.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device->WaitReceive(60'000), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  }

  unsigned char buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(device->BytesWaiting(), -1);
  EXPECT_EQ(device->Read(buffer, sizeof buffer), -1);
  EXPECT_EQ(device->WaitReceive(60'000), -1);
  EXPECT_FALSE(device->Write(buffer, sizeof buffer, 60'000));
}

TEST_F(TtyDeviceTest, WriteNobodyDrainsFailsWithinItsBound) {
  // The pty's queues take some KiB; a megabyte cannot go while the master sleeps.
  std::vector<unsigned char> big(1 << 20, 0x42);
  EXPECT_FALSE(device->Write(big.data(), big.size(), 100));
}

TEST_F(TtyDeviceTest, WriteLargerThanTheQueuesCompletesWhole) {
  std::vector<unsigned char> big(256 * 1024);
  for (std::size_t i = 0; i < big.size(); ++i) {
    big[i] = static_cast<unsigned char>(i * 7 + i / 251);
  }
  std::vector<unsigned char> received;
  std::thread drain([&] { received = pty.Receive(big.size()); });
  EXPECT_TRUE(device->Write(big.data(), big.size(), 20'000));
  drain.join();
  EXPECT_EQ(received, big);
}

TEST(TtyDeviceOpenTest, FailuresCloseWhatWasOpenedAndSayWhy) {
  TempDir dir;
  std::ofstream(dir / "plain") << "not a tty";
  struct Case {
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {dir / "missing", "cannot open"},
      {dir / "plain", "not a serial device"},
  };
  for (const Case& c : cases) {
    int before = OpenFdCount();
    std::string error;
    EXPECT_EQ(CTtyDevice::Open(c.path, &error), nullptr) << c.path;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_NE(error.find(c.path), std::string::npos) << error;
    EXPECT_EQ(OpenFdCount(), before) << c.path;
  }
}

TEST(TtyDeviceOpenTest, OpensThroughASymlink) {
  PtyPair pty;
  ASSERT_TRUE(pty.Ok());
  TempDir dir;
  ASSERT_TRUE(dir.Link("pda0", pty.SlavePath()));
  std::string error;
  auto device = CTtyDevice::Open(dir / "pda0", &error);
  ASSERT_NE(device, nullptr) << error;
  // Held under either name.
  EXPECT_EQ(CTtyDevice::Open(pty.SlavePath(), &error), nullptr);
}

}  // namespace
}  // namespace tw
