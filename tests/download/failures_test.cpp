// The failure paths of the stages, driven by the simulated handset's fault
// switches: what is logged, what the bar says at the end, whether the
// downloader was reset and how often WM_DOWNLOAD_DONE was posted.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "download/phoneparams.h"
#include "tests/download/downloadtestkit.h"

namespace tw::test {
namespace {

constexpr DWORD kPhoneSize = 0x380000 + 3000;  // CODE: 3 blocks

enum class Flow { Pda, PhoneOnly };

struct FailureCase {
  const char* name;
  Flow flow;
  int bDownEboot;
  int bDownPda;
  int bFullSet;
  std::size_t ebootSize;
  std::size_t pdaSize;
  std::function<void(sim::SimConfig&)> configure;
  BOOL bConnects;            // ConnectPda's result
  const char* logLine;       // a line the log box showed
  const char* lastProgress;  // the bar's last text; "" when none was shown after the connect
  bool bReset;
  int nDonePosts;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class FailureTest : public ::testing::TestWithParam<FailureCase> {
 protected:
  SimRig m_rig;
};

TEST_P(FailureTest, ReportsAndEndsTheRunAsItsTableSays) {
  const FailureCase& c = GetParam();
  const Bytes phone = Pattern(kPhoneSize, 21);
  TestImages images(Pattern(c.ebootSize, 22), Pattern(c.pdaSize, 23), kPhoneSize);
  TestOwner& owner = m_rig.m_owner;
  owner.m_bDownEboot = c.bDownEboot;
  owner.m_bDownPda = c.bDownPda;
  owner.m_bDownPhone = c.flow == Flow::PhoneOnly ? 1 : 0;
  owner.m_bPhoneFullSet = c.bFullSet;
  m_rig.LoadPhoneFile(phone);
  sim::SimConfig config;
  config.osRequestSizes = {0};
  config.phoneRegions = c.bFullSet ? 7 : 2;
  c.configure(config);
  m_rig.StartHandset(config, images, phone, c.bFullSet != 0);

  CDownLoad& dl = *m_rig.m_dl;
  if (c.flow == Flow::Pda) {
    ASSERT_EQ(dl.ConnectPda(&images.table, 0), c.bConnects);
    if (c.bConnects) dl.StartDownload(0);
  } else {
    ASSERT_TRUE(m_rig.StartPhoneOnly(images));
    ASSERT_TRUE(m_rig.ConnectPort(config.comPort));
  }
  dl.JoinWorkers();

  EXPECT_NE(m_rig.m_log.Text().find(c.logLine), std::string::npos) << m_rig.m_log.Text();
  const auto texts = m_rig.m_progress.Texts();
  EXPECT_EQ(texts.empty() ? std::string() : texts.back(), c.lastProgress);
  EXPECT_EQ(dl.GetLogText().empty(), c.bReset);
  EXPECT_EQ(owner.Posted(WM_DOWNLOAD_DONE), c.nDonePosts);
  EXPECT_EQ(owner.m_bRundnload, 0);  // arrivals are taken again
}

const FailureCase kCases[] = {
    {"WrongHello", Flow::Pda, 1, 0, 0, 2000, 0, [](sim::SimConfig& s) { s.faults.wrongHello = true; }, FALSE,
     "[PDA]Wrong Response From Device. DEV=[0] \r\n", "", false, 0},
    {"EbootAckMissing", Flow::Pda, 1, 0, 0, 3000, 0, [](sim::SimConfig& s) { s.faults.noAckEbootRecord = 1; },
     TRUE, "[RunDownload]Error Hanppen - Received data zero\r\n", "TIME OUT. Can't access device..", true, 1},
    {"EbootLastAckMissing", Flow::Pda, 1, 0, 0, 2000, 0,
     [](sim::SimConfig& s) { s.faults.noAckEbootRecord = 2; }, TRUE, "[PDA]Eboot data length = <1KB>\r\n",
     "TIME OUT :: Can't access device..", false, 0},
    {"EbootNeverConfirmed", Flow::Pda, 1, 0, 0, 1000, 0,
     [](sim::SimConfig& s) { s.faults.busyReplies = 1u << 30; }, TRUE,
     "[PDA] EBoot download was not confirmed by the device.\r\n", "Eboot image not confirmed by device.",
     true, 1},
    // The OS-image stage still runs after the reset, finds the channel closed
    // and ends the run a second time.
    {"EbootFailureThenOsStage", Flow::Pda, 1, 1, 0, 3000, 3000,
     [](sim::SimConfig& s) { s.faults.noAckEbootRecord = 1; }, TRUE,
     "[RunDownload]Error Hanppen - Received data zero\r\n", "TIME OUT. Can't access device..", true, 2},
    {"OsLastAckMissing", Flow::Pda, 0, 1, 0, 0, 3000, [](sim::SimConfig& s) { s.faults.noAckOsPacket = 3; },
     TRUE, "[RunDownload]Error Hanppen - Received Data zero\r\n", "TIME OUT. Can't Access Device..", true, 1},
    {"OsRequestBeyondTheEnd", Flow::Pda, 0, 1, 0, 0, 3000,
     [](sim::SimConfig& s) { s.faults.overRequest = 1; }, TRUE,
     "[PDA]Device asked for 6000 bytes, only 3000 left. Download stopped.\r\n",
     "PDA OS image failed: bad request from device.", true, 1},
    {"OsNeverConfirmed", Flow::Pda, 0, 1, 0, 0, 3000,
     [](sim::SimConfig& s) { s.faults.busyReplies = 1u << 30; }, TRUE,
     "[PDA]OS image download was not confirmed by the device.\r\n", "PDA OS image not confirmed by device.",
     true, 1},
    {"UsbGoneDuringOsImage", Flow::Pda, 0, 1, 0, 0, 5000,
     [](sim::SimConfig& s) { s.faults.disconnectPdaAfterByte = 3000; }, TRUE,
     "[RunDownload]Error Hanppen - Received Data zero\r\n", "TIME OUT. Can't Access Device..", true, 1},
    {"EraseNakOnTheLastRegion", Flow::PhoneOnly, 0, 0, 0, 0, 0,
     [](sim::SimConfig& s) { s.faults.nakEraseRegion = 2; }, TRUE,
     "[byteRsp value is NAK_BAD_CRC!!] [COM7] Complete.\r\n", "[COM7]Phone image download failed.", true, 1},
    {"EraseNakOnAMiddleRegion", Flow::PhoneOnly, 0, 0, 1, 0, 0,
     [](sim::SimConfig& s) { s.faults.nakEraseRegion = 3; }, TRUE,
     "[byteRsp value is NAK_BAD_CRC!!] [COM7] Complete.\r\n", "[COM7]Phone image complete.", true, 1},
    // The reset closes the port: the next region's jump cannot be written.
    {"BlockUnansweredWithRegionsLeft", Flow::PhoneOnly, 0, 0, 1, 0, 0,
     [](sim::SimConfig& s) { s.faults.noAnswerBlock = 1; }, TRUE, "[nTotalPkt = 3] [COM7] Complete.\r\n",
     "id[0]-[COM7] PHONE download fail.--", true, 1},
    // The last region failed: the closing steps reset and post a second time.
    {"BlockUnansweredInTheLastRegion", Flow::PhoneOnly, 0, 0, 0, 0, 0,
     [](sim::SimConfig& s) { s.faults.noAnswerBlock = 3; }, TRUE, "[nTotalPkt = 3] [COM7] Complete.\r\n",
     "id[0]-[COM7] PHONE download fail.--", true, 2},
    {"JumpUnanswered", Flow::PhoneOnly, 0, 0, 0, 0, 0,
     [](sim::SimConfig& s) { s.faults.noAckJumpRegion = 2; }, TRUE, "[PHONE] [COM7] Jump fail...\r\n",
     "[COM7] PHONE download fail.[id0]", false, 0},
};

INSTANTIATE_TEST_SUITE_P(Faults, FailureTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

// Virtual time, except that the OS-image stage's start delay (the second
// 800 ms sleep) is held until the test lets it go.
class GateClock final : public IClock {
 public:
  explicit GateClock(VirtualClock& clock) : m_clock(clock) {}
  bool Sleep(std::uint32_t ms, std::stop_token stop) override {
    if (ms == kStartDelayMs) {
      std::unique_lock guard(m_lock);
      if (++m_nStartDelays == 2) {
        m_bHeld = true;
        m_changed.notify_all();
        m_changed.wait(guard, [this] { return m_bReleased; });
      }
    }
    return m_clock.Sleep(ms, stop);
  }
  std::uint32_t GetTickCount() override { return m_clock.GetTickCount(); }
  bool WaitHeld(int timeoutMs) {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return m_bHeld; });
  }
  void Release() {
    std::lock_guard guard(m_lock);
    m_bReleased = true;
    m_changed.notify_all();
  }

 private:
  static constexpr std::uint32_t kStartDelayMs = 800;
  VirtualClock& m_clock;
  std::mutex m_lock;
  std::condition_variable m_changed;
  int m_nStartDelays = 0;
  bool m_bHeld = false;
  bool m_bReleased = false;
};

// After a failed EBOOT stage the run is over, but its worker still runs the
// OS-image stage after its start delay. A handset that arrives meanwhile is
// connected only once that worker has ended, so the old stage never writes
// to the new connection (its OS_INFO would reach the new handset).
TEST(FailureThenReconnect, AConnectWaitsForTheEndedRunsLastSteps) {
  SimRig rig;
  GateClock clock(rig.m_owner.m_clock);
  TestOwner& owner = rig.m_owner;
  owner.UseClock(clock);
  owner.m_bDownEboot = 1;
  owner.m_bDownPda = 1;
  TestImages images(Pattern(3000, 22), Pattern(3000, 23), kPhoneSize);
  const Bytes phone = Pattern(kPhoneSize, 21);
  rig.LoadPhoneFile(phone);
  sim::SimConfig config;
  config.faults.noAckEbootRecord = 1;
  rig.StartHandset(config, images, phone, false);
  CDownLoad& dl = *rig.m_dl;
  ASSERT_TRUE(dl.ConnectPda(&images.table, 0));
  dl.StartDownload(0);
  ASSERT_TRUE(owner.WaitPosted(WM_DOWNLOAD_DONE, 1, 10000));
  ASSERT_TRUE(clock.WaitHeld(10000)) << "the OS-image stage's start delay";
  const std::size_t writesBefore = rig.m_provider.UsbWrites().size();

  std::atomic<bool> bConnected{false};
  std::thread arrival([&] {
    EXPECT_TRUE(dl.ConnectPda(&images.table, 0));
    bConnected = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(bConnected) << "the connect went ahead of the ended run's worker";
  EXPECT_EQ(rig.m_provider.UsbWrites().size(), writesBefore);
  clock.Release();
  arrival.join();

  EXPECT_EQ(owner.Posted(WM_DOWNLOAD_DONE), 2) << "the OS-image stage failed on the closed channel";
  const std::vector<Bytes> writes = rig.m_provider.UsbWrites();
  const Bytes osInfo = Command(PDA_CMD_OS_INFO, 3000);
  EXPECT_EQ(std::count(writes.begin() + static_cast<std::ptrdiff_t>(writesBefore), writes.end(), osInfo), 0)
      << "the ended run wrote to the new connection";
}

}  // namespace
}  // namespace tw::test
