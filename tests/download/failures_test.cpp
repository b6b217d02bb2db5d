// The failure paths of the stages, driven by the simulated handset's fault
// switches: what is logged, what the bar says at the end, whether the
// downloader was reset, and the run's one end event with its outcome and
// skipped regions.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "download/phoneparams.h"
#include "tests/download/downloadtestkit.h"

namespace tw::test {
namespace {

constexpr DWORD kPhoneSize = 0x380000 + 3000;  // CODE: 3 blocks

// Pda: the PDA stages alone; PdaThenPhone: a phone image follows them.
enum class Flow { Pda, PdaThenPhone, PhoneOnly };

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
  RunOutcome outcome;                       // of the one end event (none when the connect failed)
  std::vector<std::string> skippedRegions;  // as the end event names them
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

// What the reported end of each row's run names as its reason.
extern const std::map<std::string, std::string> kReasons;

class FailureTest : public ::testing::TestWithParam<FailureCase> {
 protected:
  // One handset through the flow on slot 0: connect and Start, and for the
  // phone the COM port's connect; returns once the workers have ended.
  void RunFlow(Flow flow, TestImages& images, int comPort) {
    CDownLoad& dl = *m_rig.m_dl;
    if (flow == Flow::PhoneOnly) {
      ASSERT_TRUE(m_rig.StartPhoneOnly(images));
    } else {
      ASSERT_TRUE(dl.ConnectPda(&images.table, 0));
      dl.StartDownload(0);
    }
    if (flow != Flow::Pda) {
      ASSERT_TRUE(m_rig.ConnectPort(comPort));
    }
    dl.JoinWorkers();
  }

  SimRig m_rig;
};

TEST_P(FailureTest, ReportsAndEndsTheRunAsItsTableSays) {
  const FailureCase& c = GetParam();
  const Bytes phone = Pattern(kPhoneSize, 21);
  TestImages images(Pattern(c.ebootSize, 22), Pattern(c.pdaSize, 23), kPhoneSize);
  TestOwner& owner = m_rig.m_owner;
  owner.m_bDownEboot = c.bDownEboot;
  owner.m_bDownPda = c.bDownPda;
  owner.m_bDownPhone = c.flow == Flow::Pda ? 0 : 1;
  owner.m_bPhoneFullSet = c.bFullSet;
  m_rig.LoadPhoneFile(phone);
  sim::SimConfig config;
  config.osRequestSizes = {0};
  config.phoneRegions = c.bFullSet ? 7 : 2;
  c.configure(config);
  m_rig.StartHandset(config, images, phone, c.bFullSet != 0);

  CDownLoad& dl = *m_rig.m_dl;
  if (c.flow != Flow::PhoneOnly) {
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
  const std::vector<RunEnd> ends = owner.Ends();
  ASSERT_EQ(ends.size(), c.bConnects ? 1u : 0u) << "one end event per run";
  EXPECT_EQ(owner.Posted(WM_DOWNLOAD_DONE), static_cast<int>(ends.size()));
  if (!ends.empty()) {
    EXPECT_EQ(ends[0].nSlot, 0);
    EXPECT_EQ(ends[0].outcome, c.outcome);
    EXPECT_EQ(ends[0].outcome == RunOutcome::Failed, !ends[0].reason.empty()) << ends[0].reason;
    EXPECT_EQ(ends[0].skippedRegions, c.skippedRegions);
  }
  // The observer hears one run end for the run it heard begin (also when
  // the connect failed), naming the failure.
  const std::vector<RunEnd> reported = owner.m_reports.Ended();
  ASSERT_EQ(owner.m_reports.Started(), 1);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].outcome, c.outcome);
  EXPECT_NE(reported[0].reason.find(kReasons.at(c.name)), std::string::npos) << reported[0].reason;
  EXPECT_EQ(owner.m_bRundnload[0], 0);  // arrivals are taken again
  EXPECT_EQ(owner.m_bPhoneStage[0], 0);

  // The slot serves the next handset: the same downloader gives a sound one
  // a whole upgrade (EBOOT, PDA OS image, phone), which it verifies.
  m_rig.EndHandset(0);  // a faulty handset may wait for a host that has given up
  m_rig.ForgetArrivals();
  TestImages next(Pattern(2000, 32), Pattern(3000, 33), kPhoneSize);
  owner.m_bDownEboot = 1;
  owner.m_bDownPda = 1;
  owner.m_bDownPhone = 1;
  owner.m_bPhoneFullSet = 0;
  sim::SimConfig sound;
  sound.osRequestSizes = {0};
  sound.phoneRegions = 2;
  m_rig.StartHandset(sound, next, phone, false);
  m_rig.m_dl->SetLogEdit(&m_rig.m_log);
  m_rig.m_dl->SetProgressCtrl(&m_rig.m_progress);
  RunFlow(Flow::PdaThenPhone, next, sound.comPort);
  const std::vector<RunEnd> after = owner.Ends();
  ASSERT_EQ(after.size(), ends.size() + 1) << m_rig.m_log.Text();
  EXPECT_EQ(after.back().outcome, RunOutcome::Done) << after.back().reason;
  m_rig.m_dl->InitDownloader(0);  // lets go of the channels
  const sim::SimSummary summary = m_rig.EndHandset(10000);
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
  EXPECT_TRUE(summary.verified && summary.verifyPassed) << summary.ToJson();
}

const std::vector<std::string> kNoneSkipped;
std::vector<std::string> Skipped(const char* region) {
  return {region};
}

const FailureCase kCases[] = {
    {"WrongHello", Flow::Pda, 1, 0, 0, 2000, 0, [](sim::SimConfig& s) { s.faults.wrongHello = true; }, FALSE,
     "[PDA]Wrong Response From Device. DEV=[0] \r\n", "", false, RunOutcome::Failed, kNoneSkipped},
    {"EbootAckMissing", Flow::Pda, 1, 0, 0, 3000, 0, [](sim::SimConfig& s) { s.faults.noAckEbootRecord = 1; },
     TRUE, "[RunDownload]Error Hanppen - Received data zero\r\n", "TIME OUT. Can't access device..", true,
     RunOutcome::Failed, kNoneSkipped},
    {"EbootLastAckMissing", Flow::Pda, 1, 0, 0, 2000, 0,
     [](sim::SimConfig& s) { s.faults.noAckEbootRecord = 2; }, TRUE, "[PDA]Eboot data length = <1KB>\r\n",
     "TIME OUT :: Can't access device..", true, RunOutcome::Failed, kNoneSkipped},
    {"EbootNeverConfirmed", Flow::Pda, 1, 0, 0, 1000, 0,
     [](sim::SimConfig& s) { s.faults.busyReplies = 1u << 30; }, TRUE,
     "[PDA] EBoot download was not confirmed by the device.\r\n", "Eboot image not confirmed by device.",
     true, RunOutcome::Failed, kNoneSkipped},
    // The failed EBOOT stage ends the run: the OS-image stage does not follow.
    {"EbootFailureThenOsStage", Flow::Pda, 1, 1, 0, 3000, 3000,
     [](sim::SimConfig& s) { s.faults.noAckEbootRecord = 1; }, TRUE,
     "[RunDownload]Error Hanppen - Received data zero\r\n", "TIME OUT. Can't access device..", true,
     RunOutcome::Failed, kNoneSkipped},
    {"OsLastAckMissing", Flow::Pda, 0, 1, 0, 0, 3000, [](sim::SimConfig& s) { s.faults.noAckOsPacket = 3; },
     TRUE, "[RunDownload]Error Hanppen - Received Data zero\r\n", "TIME OUT. Can't Access Device..", true,
     RunOutcome::Failed, kNoneSkipped},
    {"OsRequestBeyondTheEnd", Flow::Pda, 0, 1, 0, 0, 3000,
     [](sim::SimConfig& s) { s.faults.overRequest = 1; }, TRUE,
     "[PDA]Device asked for 6000 bytes, only 3000 left. Download stopped.\r\n",
     "PDA OS image failed: bad request from device.", true, RunOutcome::Failed, kNoneSkipped},
    {"OsNeverConfirmed", Flow::Pda, 0, 1, 0, 0, 3000,
     [](sim::SimConfig& s) { s.faults.busyReplies = 1u << 30; }, TRUE,
     "[PDA]OS image download was not confirmed by the device.\r\n", "PDA OS image not confirmed by device.",
     true, RunOutcome::Failed, kNoneSkipped},
    {"UsbGoneDuringOsImage", Flow::Pda, 0, 1, 0, 0, 5000,
     [](sim::SimConfig& s) { s.faults.disconnectPdaAfterByte = 3000; }, TRUE,
     "[RunDownload]Error Hanppen - Received Data zero\r\n", "TIME OUT. Can't Access Device..", true,
     RunOutcome::Failed, kNoneSkipped},
    {"EraseNakOnTheLastRegion", Flow::PhoneOnly, 0, 0, 0, 0, 0,
     [](sim::SimConfig& s) { s.faults.nakEraseRegion = 2; }, TRUE,
     "[byteRsp value is NAK_BAD_CRC!!] [COM7] Complete.\r\n", "[COM7]Phone image download failed.", true,
     RunOutcome::Failed, Skipped("CODE")},
    {"EraseNakOnAMiddleRegion", Flow::PhoneOnly, 0, 0, 1, 0, 0,
     [](sim::SimConfig& s) { s.faults.nakEraseRegion = 3; }, TRUE,
     "[byteRsp value is NAK_BAD_CRC!!] [COM7] Complete.\r\n", "[COM7]Phone image complete.", true,
     RunOutcome::Done, Skipped("BOOT")},
    // The failed block ends the run: no further region is tried.
    {"BlockUnansweredWithRegionsLeft", Flow::PhoneOnly, 0, 0, 1, 0, 0,
     [](sim::SimConfig& s) { s.faults.noAnswerBlock = 1; }, TRUE, "[nTotalPkt = 3] [COM7] Complete.\r\n",
     "id[0]-[COM7] PHONE download fail.--", true, RunOutcome::Failed, kNoneSkipped},
    {"BlockUnansweredInTheLastRegion", Flow::PhoneOnly, 0, 0, 0, 0, 0,
     [](sim::SimConfig& s) { s.faults.noAnswerBlock = 3; }, TRUE, "[nTotalPkt = 3] [COM7] Complete.\r\n",
     "id[0]-[COM7] PHONE download fail.--", true, RunOutcome::Failed, kNoneSkipped},
    {"JumpUnanswered", Flow::PhoneOnly, 0, 0, 0, 0, 0,
     [](sim::SimConfig& s) { s.faults.noAckJumpRegion = 2; }, TRUE, "[PHONE] [COM7] Jump fail...\r\n",
     "[COM7] PHONE download fail.[id0]", true, RunOutcome::Failed, kNoneSkipped},
    {"HandOverRefusedAfterEboot", Flow::Pda, 1, 0, 0, 1000, 0,
     [](sim::SimConfig& s) {
       s.osImageFollowsEboot = false;
       s.faults.refuseHandover = true;
     },
     TRUE, "[PDA] The device did not accept the hand-over to the phone.\r\n", "Eboot image complete.", true,
     RunOutcome::Failed, kNoneSkipped},
    {"HandOverRefusedAfterOsImage", Flow::PdaThenPhone, 0, 1, 0, 0, 3000,
     [](sim::SimConfig& s) { s.faults.refuseHandover = true; }, TRUE,
     "[PDA] The device did not accept the hand-over to the phone.\r\n", "PDA OS image completed.", true,
     RunOutcome::Failed, kNoneSkipped},
};

const std::map<std::string, std::string> kReasons = {
    {"WrongHello", "hello was wrong"},
    {"EbootAckMissing", "no answer to an EBOOT record"},
    {"EbootLastAckMissing", "no answer to the last EBOOT record"},
    {"EbootNeverConfirmed", "did not confirm the EBOOT image"},
    {"EbootFailureThenOsStage", "no answer to an EBOOT record"},
    {"OsLastAckMissing", "no answer to a PDA OS image packet"},
    {"OsRequestBeyondTheEnd", "asked for more than the image"},
    {"OsNeverConfirmed", "did not confirm the PDA OS image"},
    {"UsbGoneDuringOsImage", "the device vanished"},
    {"EraseNakOnTheLastRegion", "the last region was not written"},
    {"EraseNakOnAMiddleRegion", ""},
    {"BlockUnansweredWithRegionsLeft", "CODE block 1 of 3 not acknowledged"},
    {"BlockUnansweredInTheLastRegion", "CODE block 3 of 3 not acknowledged"},
    {"JumpUnanswered", "did not answer the jump to CODE"},
    {"HandOverRefusedAfterEboot", "did not accept the hand-over"},
    {"HandOverRefusedAfterOsImage", "did not accept the hand-over"},
};

INSTANTIATE_TEST_SUITE_P(Faults, FailureTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

// Holds the worker that ends a run right after it posted its end event,
// until the test lets it go.
class EndGate {
 public:
  void Hold() {
    std::unique_lock guard(m_lock);
    m_bHeld = true;
    m_changed.notify_all();
    m_changed.wait(guard, [this] { return m_bReleased; });
  }
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
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_bHeld = false;
  bool m_bReleased = false;
};

// A failed EBOOT stage ends the run: the OS-image stage never follows. A
// handset that arrives while the ended run's worker is still taking its last
// steps is connected once that worker has ended, never dropped, and the old
// run writes nothing to the new connection.
TEST(FailureThenReconnect, AConnectWaitsForTheEndedRunsLastSteps) {
  SimRig rig;
  EndGate gate;
  TestOwner& owner = rig.m_owner;
  owner.onRunEnd = [&gate] { gate.Hold(); };
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
  ASSERT_TRUE(gate.WaitHeld(10000)) << "the run's end";
  const std::size_t writesBefore = rig.m_provider.UsbWrites().size();

  std::atomic<bool> bConnected{false};
  std::thread arrival([&] {
    EXPECT_TRUE(dl.ConnectPda(&images.table, 0));
    bConnected = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(bConnected) << "the connect went ahead of the ended run's worker";
  EXPECT_EQ(rig.m_provider.UsbWrites().size(), writesBefore);
  gate.Release();
  arrival.join();

  EXPECT_EQ(owner.Posted(WM_DOWNLOAD_DONE), 1);
  const std::vector<Bytes> writes = rig.m_provider.UsbWrites();
  EXPECT_EQ(std::count(writes.begin(), writes.end(), Command(PDA_CMD_OS_INFO, 3000)), 0)
      << "the OS-image stage ran after the failed EBOOT stage";
}

// Start pressed again while the run goes on, or a Start that meets the
// connect's own start, starts one download: two on one channel would
// interleave their records and reset it under each other.
TEST(StartTwice, StartsOneDownloadPerRun) {
  SimRig rig;
  TestOwner& owner = rig.m_owner;
  owner.m_bDownEboot = 1;
  owner.m_bDownPda = 1;
  TestImages images(Pattern(3000, 22), Pattern(3000, 23), kPhoneSize);
  const Bytes phone = Pattern(kPhoneSize, 21);
  rig.LoadPhoneFile(phone);
  sim::SimConfig config;
  config.osRequestSizes = {0};
  rig.StartHandset(config, images, phone, false);
  CDownLoad& dl = *rig.m_dl;
  dl.StartDownload(0);  // before the handset connected: the connect starts it
  ASSERT_TRUE(dl.ConnectPda(&images.table, 0));
  dl.StartDownload(0);
  dl.StartDownload(0);
  dl.JoinWorkers();

  ASSERT_EQ(owner.Ends().size(), 1u);
  EXPECT_EQ(owner.Ends()[0].outcome, RunOutcome::Done) << owner.Ends()[0].reason;
  const std::vector<Bytes> writes = rig.m_provider.UsbWrites();
  EXPECT_EQ(std::count(writes.begin(), writes.end(), Command(PDA_CMD_EBOOT_INFO, 3000)), 1);
}

}  // namespace
}  // namespace tw::test
