// The PDA stages against the simulated handset, in virtual time: the wire
// sequences byte for byte, the log lines, the progress reports and the delays.
#include <gtest/gtest.h>

#include "download/downloadtext.h"
#include "tests/download/downloadtestkit.h"

namespace tw::test {
namespace {

constexpr DWORD kPhoneSize = 14524912;

const char* const kHandshakeLog =
    "[StartDownload => 0] StartDownload !!\r\n"
    "[PDA] Connect and Power-on the Device.\r\n"
    "[PDA-0]Driver Opened.\r\n"
    "[PDA]Read Wait. = [0] \r\n"
    "[PDA]Read Done. = [0] \r\n"
    "[PDA]Device Found. = [0] \r\n";

class PdaStagesTest : public ::testing::Test {
 protected:
  // Connects, presses Start and waits for the PDA worker.
  void RunPda(sim::SimConfig config, TestImages& images, int nSlot = 0) {
    m_rig.StartHandset(std::move(config), images, {}, true);
    ASSERT_TRUE(m_rig.m_dl->ConnectPda(&images.table, nSlot));
    m_rig.m_dl->StartDownload(nSlot);
    m_rig.m_dl->JoinWorkers();
  }

  std::vector<Bytes> ConnectWrites() const {
    return {Command(PDA_CMD_HELLO_ACK), Command(PDA_CMD_AFTER_CONNECT)};
  }

  SimRig m_rig;
};

// The EBOOT stage alone, handing over to the phone: record sizes and percentages.
struct EbootCase {
  std::size_t size;
  std::vector<std::size_t> records;
  std::vector<int> percents;
  int nandSelect;
  DWORD nandMask;
};

void PrintTo(const EbootCase& c, std::ostream* os) {
  *os << c.size << " bytes, NAND " << c.nandSelect << "/" << c.nandMask;
}

class EbootWireTest : public PdaStagesTest, public ::testing::WithParamInterface<EbootCase> {};

TEST_P(EbootWireTest, RecordsPercentagesAndHandOverToThePhone) {
  const EbootCase& c = GetParam();
  TestImages images(Pattern(c.size, 1), Pattern(100, 2), kPhoneSize);
  m_rig.m_owner.m_bDownEboot = 1;
  m_rig.m_owner.m_bDownPda = 0;
  m_rig.m_owner.m_bNandSelect = c.nandSelect;
  m_rig.m_owner.m_dwNandMask = c.nandMask;
  sim::SimConfig config;
  config.osImageFollowsEboot = false;
  RunPda(config, images);

  const DWORD size = static_cast<DWORD>(c.size);
  const DWORD mask = c.nandSelect == 1 ? c.nandMask : 0;
  std::vector<Bytes> expected = ConnectWrites();
  expected.push_back(Command(PDA_CMD_EBOOT_INFO, size, mask));
  expected.push_back(Command(PDA_CMD_POLL, size, mask));
  std::size_t offset = 0;
  for (std::size_t n : c.records) {
    expected.push_back(EbootRecord(images.eboot, offset, n));
    offset += n;
  }
  expected.push_back(Command(PDA_CMD_EBOOT_END));
  expected.back().resize(100);
  expected.push_back(Command(PDA_CMD_IMAGE_DONE));
  expected.push_back(Command(PDA_CMD_PHONE_MODE, kPhoneSize));
  EXPECT_TRUE(SameWrites(m_rig.m_provider.UsbWrites(), expected));

  std::vector<std::pair<int, std::string>> progress{{0, "0%"}};
  for (int percent : c.percents) {
    progress.emplace_back(percent, "Eboot downloading : " + FormatText("%3.3d", percent) + " %");
  }
  progress.emplace_back(0, "Eboot image complete.");
  EXPECT_EQ(m_rig.m_progress.Reports(), progress);
  EXPECT_EQ(m_rig.m_log.Text(),
            std::string(kHandshakeLog) + "[PDA]Eboot data length = <" + std::to_string(c.size / 1024) +
                "KB>\r\n[PDA]EBoot data download ready.\r\n[PDA] EBoot download complete.\r\n");
  EXPECT_EQ(Sleeps(m_rig.m_owner.m_clock), (std::vector<std::uint32_t>{800, 20}));
  EXPECT_EQ(m_rig.m_owner.m_bPhoneStage[0], 1);
  EXPECT_EQ(m_rig.m_owner.m_bRundnload[0], 0);
  EXPECT_EQ(m_rig.m_owner.Posted(WM_DOWNLOAD_DONE), 0);
  EXPECT_EQ(m_rig.EndHandset(0).eboot.verify.result, "match");
}

INSTANTIATE_TEST_SUITE_P(Sizes, EbootWireTest,
                         ::testing::Values(EbootCase{2000, {1000, 1000}, {50, 100}, 0, 0},
                                           EbootCase{2001, {1000, 1000, 1}, {49, 99, 100}, 0, 0},
                                           EbootCase{2000, {1000, 1000}, {50, 100}, 1, 0x5},
                                           EbootCase{2000, {1000, 1000}, {50, 100}, 0, 0x5}));

// EBOOT then OS image, no phone image: the handset's requests decide the packets.
TEST_F(PdaStagesTest, EbootThenOsImageServesEachRequestAndFinishes) {
  const std::size_t pdaSize = 3000 + 1008 + 1009 + 500;
  TestImages images(Pattern(1500, 3), Pattern(pdaSize, 4), kPhoneSize);
  m_rig.m_owner.m_bDownEboot = 1;
  m_rig.m_owner.m_bDownPda = 1;
  m_rig.m_owner.m_bDownPhone = 0;
  sim::SimConfig config;
  config.osRequestSizes = {3000, 1008, 1009, 0};
  RunPda(config, images);

  std::vector<Bytes> expected = ConnectWrites();
  expected.push_back(Command(PDA_CMD_EBOOT_INFO, 1500));
  expected.push_back(Command(PDA_CMD_POLL, 1500));
  expected.push_back(EbootRecord(images.eboot, 0, 1000));
  expected.push_back(EbootRecord(images.eboot, 1000, 500));
  expected.push_back(Command(PDA_CMD_EBOOT_END));
  expected.back().resize(100);
  expected.push_back(Command(PDA_CMD_IMAGE_DONE));  // nothing read: the OS image follows
  expected.push_back(Command(PDA_CMD_OS_INFO, static_cast<DWORD>(pdaSize)));
  std::size_t offset = 0;
  for (std::size_t n : {1008, 1008, 984, 1008, 1008, 1, 500}) {
    expected.push_back(OsPacket(images.pda, offset, n));
    offset += n;
  }
  expected.push_back(Command(PDA_CMD_FINISH));
  EXPECT_TRUE(SameWrites(m_rig.m_provider.UsbWrites(), expected));

  const std::vector<std::pair<int, std::string>> progress{{0, "0%"},
                                                          {66, "Eboot downloading : 066 %"},
                                                          {100, "Eboot downloading : 100 %"},
                                                          {0, "Eboot image complete."},
                                                          {54, "PDA downloading : 054 %"},
                                                          {72, "PDA downloading : 072 %"},
                                                          {90, "PDA downloading : 090 %"},
                                                          {100, "PDA downloading : 100 %"},
                                                          {0, "PDA OS image completed."}};
  EXPECT_EQ(m_rig.m_progress.Reports(), progress);
  EXPECT_EQ(m_rig.m_log.Text(), std::string(kHandshakeLog) +
                                    "[PDA]Eboot data length = <1KB>\r\n"
                                    "[PDA]EBoot data download ready.\r\n"
                                    "[PDA] EBoot download complete.\r\n"
                                    "OsImage data length = <5KB>\r\n"
                                    "[PDA]OsImage data download ready.\r\n"
                                    "[PDA]OS image download complete.\r\n");
  EXPECT_EQ(Sleeps(m_rig.m_owner.m_clock), (std::vector<std::uint32_t>{800, 20, 800}));
  EXPECT_EQ(m_rig.m_owner.Posted(WM_DOWNLOAD_DONE), 1);
  EXPECT_EQ(m_rig.m_dl->GetLogText(), "");  // reset
  EXPECT_EQ(m_rig.m_owner.m_bRundnload[0], 0);
  const sim::SimSummary summary = m_rig.EndHandset(5000);
  EXPECT_EQ(summary.end, "finish");
  EXPECT_EQ(summary.os.verify.result, "match");
  EXPECT_TRUE(summary.violations.empty());
}

// No EBOOT image: one delay, then the OS image; with a phone image to follow,
// a second passes between the handset's 0x0F and PDA_CMD_PHONE_MODE.
TEST_F(PdaStagesTest, OsImageHandsOverToThePhoneASecondAfterTheReply) {
  TestImages images({}, Pattern(2016, 5), kPhoneSize);
  m_rig.m_owner.m_bDownEboot = 0;
  m_rig.m_owner.m_bDownPda = 1;
  m_rig.m_owner.m_bDownPhone = 1;
  sim::SimConfig config;
  config.osRequestSizes = {0};
  RunPda(config, images);

  std::vector<Bytes> expected = ConnectWrites();
  expected.push_back(Command(PDA_CMD_OS_INFO, 2016));
  expected.push_back(OsPacket(images.pda, 0, 1008));
  expected.push_back(OsPacket(images.pda, 1008, 1008));
  expected.push_back(Command(PDA_CMD_IMAGE_DONE));
  expected.push_back(Command(PDA_CMD_PHONE_MODE, kPhoneSize));
  EXPECT_TRUE(SameWrites(m_rig.m_provider.UsbWrites(), expected));
  EXPECT_EQ(Sleeps(m_rig.m_owner.m_clock), (std::vector<std::uint32_t>{800, 1000}));
  EXPECT_EQ(m_rig.m_owner.m_bPhoneStage[0], 1);
  EXPECT_EQ(m_rig.m_owner.m_bRundnload[0], 0);
  EXPECT_EQ(m_rig.m_owner.Posted(WM_DOWNLOAD_DONE), 0);
  EXPECT_EQ(m_rig.m_dl->m_bFlagSet.bStartDownload, 1);  // waiting for the COM port
}

// A downloader in slot 3 waits 650 ms before each stage and names its slot.
TEST_F(PdaStagesTest, SlotThreeWaits650MillisecondsBeforeEachStage) {
  TestImages images(Pattern(1000, 12), Pattern(1008, 13), kPhoneSize);
  m_rig.m_owner.m_bDownEboot = 1;
  m_rig.m_owner.m_bDownPda = 1;
  m_rig.m_owner.m_bDownPhone = 0;
  m_rig.m_owner.m_bSlotIdle[3] = 1;
  sim::SimConfig config;
  config.osRequestSizes = {0};
  RunPda(config, images, 3);
  EXPECT_EQ(Sleeps(m_rig.m_owner.m_clock), (std::vector<std::uint32_t>{650, 20, 650}));
  EXPECT_EQ(m_rig.m_log.Shown().at(2), std::string("[StartDownload => 3] StartDownload !!\r\n"
                                                   "[PDA] Connect and Power-on the Device.\r\n"
                                                   "[PDA-3]Driver Opened.\r\n"));
  EXPECT_EQ(m_rig.m_owner.Posted(WM_DOWNLOAD_DONE), 1);
}

// A 10-byte request is dropped and answered with a poll and a 20 ms pause;
// busy completion replies are each answered with a poll.
TEST_F(PdaStagesTest, ShortRequestsAndBusyRepliesArePolled) {
  TestImages images(Pattern(1000, 6), Pattern(1008, 7), kPhoneSize);
  m_rig.m_owner.m_bDownEboot = 1;
  m_rig.m_owner.m_bDownPda = 1;
  m_rig.m_owner.m_bDownPhone = 0;
  sim::SimConfig config;
  config.osRequestSizes = {0};
  config.faults.shortRequest = 1;
  config.faults.busyReplies = 2;
  RunPda(config, images);

  std::vector<Bytes> expected = ConnectWrites();
  expected.push_back(Command(PDA_CMD_EBOOT_INFO, 1000));
  expected.push_back(Command(PDA_CMD_POLL, 1000));
  expected.push_back(EbootRecord(images.eboot, 0, 1000));
  expected.push_back(Command(PDA_CMD_EBOOT_END));
  expected.back().resize(100);
  expected.push_back(Command(PDA_CMD_POLL));
  expected.push_back(Command(PDA_CMD_POLL));
  expected.push_back(Command(PDA_CMD_IMAGE_DONE));
  expected.push_back(Command(PDA_CMD_OS_INFO, 1008));
  expected.push_back(Command(PDA_CMD_POLL));  // the short request
  expected.push_back(OsPacket(images.pda, 0, 1008));
  expected.push_back(Command(PDA_CMD_POLL));
  expected.push_back(Command(PDA_CMD_POLL));
  expected.push_back(Command(PDA_CMD_FINISH));
  EXPECT_TRUE(SameWrites(m_rig.m_provider.UsbWrites(), expected));
  // EBOOT: a pause before each completion read; OS: a pause after the short
  // request's poll and after each completion poll.
  EXPECT_EQ(Sleeps(m_rig.m_owner.m_clock), (std::vector<std::uint32_t>{800, 20, 20, 20, 800, 20, 20, 20}));
  EXPECT_EQ(m_rig.m_owner.Posted(WM_DOWNLOAD_DONE), 1);
}

// Closing the window destroys a downloader whose worker waits for an answer:
// the stop request ends the wait, the worker is joined, and the run it
// abandons posts nothing.
TEST_F(PdaStagesTest, DestroyingTheDownloaderStopsAndJoinsItsWorker) {
  TestImages images(Pattern(5000, 8), Pattern(100, 9), kPhoneSize);
  m_rig.m_owner.m_bDownEboot = 1;
  sim::SimConfig config;
  config.faults.noAckEbootRecord = 1;
  m_rig.StartHandset(config, images, {}, true);
  ASSERT_TRUE(m_rig.m_dl->ConnectPda(&images.table, 0));
  m_rig.m_dl->StartDownload(0);
  // Wait for the first data record: the worker then waits for its answer.
  ASSERT_TRUE(WaitFor([&] { return m_rig.m_provider.UsbWrites().size() >= 5; }, 20000));
  m_rig.m_dl->ClearLog();
  m_rig.m_dl->ClearProgressCtrl();
  m_rig.m_dl.reset();
  EXPECT_EQ(m_rig.m_owner.Posted(WM_DOWNLOAD_DONE), 0);
}

}  // namespace
}  // namespace tw::test
