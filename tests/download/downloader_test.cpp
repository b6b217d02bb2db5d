// The downloader's own operations: connects on a worker, logging, progress,
// the reset, what Start and a failed connect do without a handset, and a
// stop while the after-connect record hangs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "download/downloadtext.h"
#include "pda/pdaguid.h"
#include "tests/download/downloadtestkit.h"

namespace tw::test {
namespace {

class NoDevices final : public IDeviceProvider {
 public:
  std::vector<std::string> EnumerateInterfaces(const GUID&) override { return {}; }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string&, std::string*) override { return nullptr; }
  std::unique_ptr<IByteDevice> OpenPort(const std::string&, std::string*) override { return nullptr; }
};

class DownloaderTest : public ::testing::Test {
 protected:
  NoDevices m_devices;
  TestOwner m_owner{m_devices};
  TestLog m_log;
  TestProgress m_progress;
};

// A begun connect runs on the downloader's worker and posts its end with the
// slot it was given, whatever else was created before; so does a run's end.
TEST_F(DownloaderTest, ConnectsAndRunsReportTheirOwnSlot) {
  auto other = std::make_unique<CDownLoad>(&m_owner, 0);
  CDownLoad dl(&m_owner, 5);
  EXPECT_EQ(dl.m_nPort, 5);
  ImageTable table;
  dl.BeginConnectPda(&table, 3);
  ASSERT_TRUE(m_owner.WaitPosted(WM_CONNECT_DONE, 1, 10000));
  EXPECT_EQ(m_owner.LastPosted(WM_CONNECT_DONE),
            (std::pair<WPARAM, LPARAM>{3, static_cast<LPARAM>(ConnectResult::PdaFailed)}));
  dl.BeginConnectPhone(0, 6);
  ASSERT_TRUE(m_owner.WaitPosted(WM_CONNECT_DONE, 2, 10000));
  EXPECT_EQ(m_owner.LastPosted(WM_CONNECT_DONE),
            (std::pair<WPARAM, LPARAM>{6, static_cast<LPARAM>(ConnectResult::PhoneFailed)}));

  // A handed-over run without a phone image ends with the phone connect's slot.
  m_owner.m_bDownPhone = 0;
  dl.m_bFlagSet.bOpenPhone = 1;
  dl.m_nIndex = 4;
  dl.StartPhoneDownload(4);
  dl.JoinWorkers();
  ASSERT_EQ(m_owner.Ends().size(), 1u);
  EXPECT_EQ(m_owner.Ends()[0].nSlot, 4);
  EXPECT_EQ(m_owner.Ends()[0].outcome, RunOutcome::Done);
  EXPECT_EQ(m_owner.LastPosted(WM_DOWNLOAD_DONE), (std::pair<WPARAM, LPARAM>{4, 0}));
}

TEST_F(DownloaderTest, LogLinesReachOnlyAnAttachedBoxAndAccumulate) {
  CDownLoad dl(&m_owner, 0);
  dl.LogMessage("lost %d\r\n", 1);
  EXPECT_TRUE(m_log.Shown().empty());
  EXPECT_EQ(dl.GetLogText(), "");

  dl.SetLogEdit(&m_log);
  dl.LogMessage("[PDA-%d]Driver Opened.\r\n", 0);
  dl.LogMessage("second %s\r\n", "line");
  EXPECT_EQ(m_log.Text(), "[PDA-0]Driver Opened.\r\nsecond line\r\n");
  ASSERT_EQ(m_log.Shown().size(), 2u);
  EXPECT_EQ(m_log.Shown()[0], "[PDA-0]Driver Opened.\r\n");

  dl.ClearLog();
  dl.LogMessage("after clear\r\n");
  EXPECT_EQ(m_log.Shown().size(), 2u);
  dl.SetLogEdit(&m_log);
  dl.LogMessage("fresh\r\n");
  EXPECT_EQ(m_log.Text(), "fresh\r\n");
}

TEST_F(DownloaderTest, OverlongLinesAreTruncatedToTheBufferAndKeepTheirLineEnd) {
  CDownLoad dl(&m_owner, 0);
  dl.SetLogEdit(&m_log);
  const std::string longText(400, 'x');
  dl.LogMessage("%s\r\n", longText.c_str());
  dl.LogMessage("%s", longText.c_str());
  const std::string text = m_log.Text();
  ASSERT_EQ(text.size(), 255u + 255u);
  EXPECT_EQ(text.substr(253, 2), "\r\n");
  EXPECT_EQ(text.substr(255), std::string(255, 'x'));
}

TEST_F(DownloaderTest, ProgressSetsTextThenPositionWhileABarIsAttached) {
  CDownLoad dl(&m_owner, 0);
  dl.SetProgress(10, "lost");
  dl.SetProgressCtrl(&m_progress);
  dl.SetProgress(28, FormatText("Eboot downloading : %3.3d %%", 28));
  dl.ClearProgressCtrl();
  dl.SetProgress(40, "lost too");
  ASSERT_EQ(m_progress.Reports().size(), 1u);
  EXPECT_EQ(m_progress.Reports()[0], (std::pair<int, std::string>{28, "Eboot downloading : 028 %"}));
}

TEST_F(DownloaderTest, ResetEmptiesTheLogDetachesTheSinksAndClearsTheFlags) {
  CDownLoad dl(&m_owner, 0);
  dl.SetLogEdit(&m_log);
  dl.SetProgressCtrl(&m_progress);
  dl.LogMessage("before\r\n");
  dl.m_bFlagSet.bStartDownload = 1;
  dl.m_bFlagSet.bCreateUSB = 1;
  dl.m_bFlagSet.bOpenPhone = 1;
  m_owner.m_bPhoneStage[2] = 1;
  m_owner.m_bRundnload[2] = 1;

  dl.InitDownloader(2);
  EXPECT_EQ(dl.GetLogText(), "");
  EXPECT_EQ(dl.m_bFlagSet.bStartDownload, 0);
  EXPECT_EQ(dl.m_bFlagSet.bCreateUSB, 0);
  EXPECT_EQ(dl.m_bFlagSet.bOpenPhone, 0);
  EXPECT_EQ(m_owner.m_bPhoneStage[2], 0);
  EXPECT_EQ(m_owner.m_bRundnload[2], 0);
  dl.LogMessage("after\r\n");
  dl.SetProgress(1, "after");
  EXPECT_EQ(m_log.Text(), "before\r\n");
  EXPECT_TRUE(m_progress.Reports().empty());
}

TEST_F(DownloaderTest, StartBeforeTheHandshakeOnlyMarksTheStart) {
  CDownLoad dl(&m_owner, 0);
  dl.StartDownload(0);
  EXPECT_EQ(dl.m_bFlagSet.bStartDownload, 1);
  EXPECT_EQ(m_owner.m_bDownStart[0], 1);
  dl.JoinWorkers();
  EXPECT_TRUE(m_owner.m_clock.Sleeps().empty());  // no worker slept its start delay
}

TEST_F(DownloaderTest, NoDeviceMeansHundredAttemptsAHundredMillisecondsApartThenAReset) {
  CDownLoad dl(&m_owner, 0);
  dl.SetLogEdit(&m_log);
  dl.SetProgressCtrl(&m_progress);
  ImageTable table;
  EXPECT_FALSE(dl.ConnectPda(&table, 0));
  EXPECT_EQ(Sleeps(m_owner.m_clock), std::vector<std::uint32_t>(100, 100));
  EXPECT_EQ(m_log.Text(),
            "[StartDownload => 0] StartDownload !!\r\n"
            "[PDA] Connect and Power-on the Device.\r\n"
            "[PDA]Device Not Found.\r\n");
  EXPECT_EQ(dl.GetLogText(), "");  // reset
  EXPECT_EQ(m_owner.Posted(WM_DOWNLOAD_DONE), 0);
}

TEST_F(DownloaderTest, AMissingPhonePortFailsEveryAttemptWithTheTemplateName) {
  CDownLoad dl(&m_owner, 0);
  dl.SetLogEdit(&m_log);
  PhonePort port{0};
  EXPECT_FALSE(dl.ConnectPhone(&port, 0));
  EXPECT_EQ(dl.m_bFlagSet.bOpenPhone, 0);
  const std::string log = m_log.Text();
  EXPECT_NE(log.find("CreatePhoneFile Error\r\n"), std::string::npos);
  EXPECT_NE(log.find("[PHONE] Device Not Found.\r\n"), std::string::npos);
  EXPECT_NE(log.find("[PHONE] 1. Opening COM#:115200,N,8,0 id[0].\r\n"), std::string::npos);
  for (const char* retry : {"(2)", "(1)", "(0)"}) {
    EXPECT_NE(log.find(std::string("[PHONE] COM[0] Port open retry ") + retry + "-id[0]\r\n"),
              std::string::npos);
  }
  EXPECT_NE(log.find("[PHONE] COM[0] Port open fail.id[0]\r\n"), std::string::npos);
  EXPECT_EQ(Sleeps(m_owner.m_clock),
            (std::vector<std::uint32_t>{100, 100, 100, 100, 100, 100, 100, 500, 500, 500}));
}

TEST_F(DownloaderTest, ADownloaderWithoutOwnerWorksAlone) {
  CDownLoad dl(nullptr, 3);
  dl.SetLogEdit(&m_log);
  dl.LogMessage("alone\r\n");
  dl.StartDownload(0);
  EXPECT_EQ(m_log.Text(), "alone\r\n");
}

// A handset that says hello at once and then takes no write of the
// after-connect record until the test lets it go (as a stalled pipe would,
// up to the write's time-out).
class HangingAfterConnect final : public IDeviceProvider {
 public:
  std::vector<std::string> EnumerateInterfaces(const GUID&) override { return {"pda0"}; }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string&, std::string*) override {
    return std::make_unique<Device>(*this);
  }
  std::unique_ptr<IByteDevice> OpenPort(const std::string&, std::string*) override { return nullptr; }

  void Release() {
    {
      std::lock_guard guard(m_lock);
      m_bReleased = true;
    }
    m_released.notify_all();
  }
  std::vector<Bytes> Writes() {
    std::lock_guard guard(m_lock);
    return m_writes;
  }

 private:
  class Device final : public IByteDevice {
   public:
    explicit Device(HangingAfterConnect& owner) : m_owner(owner) { m_hello[0] = PDA_RSP_HELLO; }
    long BytesWaiting() override { return m_bHelloSent ? 0 : static_cast<long>(kPdaReplySize); }
    int WaitReceive(int) override { return m_bHelloSent ? 0 : 1; }
    long Read(void* dst, std::size_t n) override {
      if (m_bHelloSent) return 0;
      m_bHelloSent = true;
      const std::size_t take = std::min<std::size_t>(n, kPdaReplySize);
      std::memcpy(dst, m_hello, take);
      return static_cast<long>(take);
    }
    bool Write(const void* src, std::size_t n, int) override {
      const auto* bytes = static_cast<const BYTE*>(src);
      std::unique_lock lock(m_owner.m_lock);
      m_owner.m_writes.emplace_back(bytes, bytes + n);
      if (Bytes(bytes, bytes + n) == Command(PDA_CMD_AFTER_CONNECT)) {
        m_owner.m_released.wait(lock, [this] { return m_owner.m_bReleased; });
      }
      return true;
    }
    void Purge() override {}
    bool DeliversWholeMessages() const override { return true; }

   private:
    HangingAfterConnect& m_owner;
    BYTE m_hello[kPdaReplySize] = {};
    bool m_bHelloSent = false;
  };

  std::mutex m_lock;
  std::condition_variable m_released;
  bool m_bReleased = false;
  std::vector<Bytes> m_writes;
};

// Both users of the channel after a handshake wait for the after-connect
// record; a stop ends that wait at once, and nothing more goes out, even
// once the record's write has ended.
TEST(AfterConnectWaitTest, AStopEndsItAndNothingMoreIsSent) {
  for (const bool bPhoneOnly : {false, true}) {
    SCOPED_TRACE(bPhoneOnly ? "phone-only Start" : "PDA worker");
    HangingAfterConnect devices;
    TestOwner owner{devices};
    owner.UseClock(owner.m_clock);
    owner.m_bDownEboot = bPhoneOnly ? 0 : 1;
    owner.m_bDownPhone = 1;
    ImageTable table;
    CDownLoad dl(&owner, 0);
    ASSERT_TRUE(dl.ConnectPda(&table, 0));

    // A phone-only Start waits in the call, the other on its PDA worker.
    std::atomic<bool> bStartReturned{false};
    std::thread start([&] {
      if (bPhoneOnly) {
        dl.StartPhoneDownload(0);
      } else {
        dl.StartDownload(0);
      }
      bStartReturned = true;
    });
    dl.RequestStop();
    EXPECT_TRUE(WaitFor([&] { return bStartReturned.load(); }, 10000)) << "the Start still waits";
    devices.Release();
    start.join();
    dl.JoinWorkers();

    EXPECT_TRUE(SameWrites(devices.Writes(), {Command(PDA_CMD_HELLO_ACK), Command(PDA_CMD_AFTER_CONNECT)}));
    EXPECT_TRUE(Sleeps(owner.m_clock).empty()) << "no stage's start delay";
    EXPECT_EQ(owner.m_bRundnload[0], 0);
    // The PDA worker's run ends as stopped; the phone-only Start had no run yet.
    const std::vector<RunEnd> ends = owner.Ends();
    ASSERT_EQ(ends.size(), bPhoneOnly ? 0u : 1u);
    if (!bPhoneOnly) {
      EXPECT_EQ(ends[0].outcome, RunOutcome::Stopped);
    }
  }
}

TEST(DownloadTextTest, PercentagesTruncateAfterTheDivision) {
  EXPECT_EQ(Percent(29000, 100000), 28);
  EXPECT_EQ(Percent(1000, 2001), 49);
  EXPECT_EQ(Percent(2000, 2001), 99);
  EXPECT_EQ(Percent(2001, 2001), 100);
  EXPECT_EQ(Percent(0, 0), 100);  // an empty image is complete
  EXPECT_EQ(FormatText("PDA downloading : %3.3d %%", 7), "PDA downloading : 007 %");
}

TEST(DownloadTextTest, StartDelayIs800LessFiftyPerSlot) {
  EXPECT_EQ(StartDelayMs(0), 800u);
  EXPECT_EQ(StartDelayMs(3), 650u);
  EXPECT_EQ(StartDelayMs(7), 450u);
}

}  // namespace
}  // namespace tw::test
