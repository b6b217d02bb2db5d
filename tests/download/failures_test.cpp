// The failure paths of the stages, driven by the simulated handset's fault
// switches: what is logged, what the bar says at the end, whether the
// downloader was reset and how often WM_DOWNLOAD_DONE was posted.
#include <gtest/gtest.h>

#include <functional>

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

}  // namespace
}  // namespace tw::test
