// The phone side against the simulated handset, in virtual time: a
// phone-only run from PDA_CMD_PHONE_MODE through the port opening and every
// region, byte for byte, with its log lines, progress and delays.
#include <gtest/gtest.h>

#include <array>

#include "download/downloadtext.h"
#include "download/phoneparams.h"
#include "phonedown/cmsmpacket/pkt.h"
#include "tests/download/downloadtestkit.h"

namespace tw::test {
namespace {

constexpr DWORD kCodeStart = 0x380000;
constexpr DWORD kPhoneSize = kCodeStart + 3000;  // CODE: 3 blocks, the last one partly filled

struct PhoneCase {
  int bFullSet;
  int bExtraCmd;
  int nPort;
  const char* portName;  // the name the port is opened by
};

void PrintTo(const PhoneCase& c, std::ostream* os) {
  *os << "full set " << c.bFullSet << ", extra command " << c.bExtraCmd << ", COM" << c.nPort;
}

class PhoneStagesTest : public ::testing::TestWithParam<PhoneCase> {
 protected:
  Bytes Frame(std::size_t (CMsmPacket::*make)(std::span<BYTE>)) {
    std::array<BYTE, 64> frame{};
    return Bytes(frame.begin(), frame.begin() + static_cast<long>((m_packet.*make)(frame)));
  }
  Bytes Erase(DWORD start, DWORD length) {
    std::array<BYTE, 64> frame{};
    return Bytes(frame.begin(),
                 frame.begin() + static_cast<long>(m_packet.MakeErasePacket(frame, start, length)));
  }
  // Block i of the image, zero behind its end, as the 1024 raw bytes sent.
  Bytes Block(const Bytes& phone, DWORD index) {
    Bytes block(1024, 0);
    const std::size_t from = std::size_t{index} * 1024;
    for (std::size_t k = 0; k < 1024 && from + k < phone.size(); ++k) block[k] = phone[from + k];
    return block;
  }

  CMsmPacket m_packet;
  SimRig m_rig;
};

TEST_P(PhoneStagesTest, PhoneOnlyRunWritesEveryRegionAndEndsTheRun) {
  const PhoneCase& c = GetParam();
  const Bytes phone = Pattern(kPhoneSize, 11);
  TestImages images({}, {}, kPhoneSize);
  TestOwner& owner = m_rig.m_owner;
  owner.m_bDownEboot = 0;
  owner.m_bDownPda = 0;
  owner.m_bDownPhone = 1;
  owner.m_bPhoneFullSet = c.bFullSet;
  owner.m_bPhoneExtraCmd = c.bExtraCmd;
  m_rig.LoadPhoneFile(phone);
  sim::SimConfig config;
  config.comPort = c.nPort;
  config.phoneRegions = c.bFullSet ? 7 : 2;
  m_rig.StartHandset(config, images, phone, c.bFullSet != 0);

  // Phone only: Start sends the handset into phone mode.
  CDownLoad& dl = *m_rig.m_dl;
  ASSERT_TRUE(m_rig.StartPhoneOnly(images));
  EXPECT_EQ(dl.m_bFlagSet.bCreateUSB, 0);
  EXPECT_EQ(dl.m_bFlagSet.bStartDownload, 1);
  EXPECT_EQ(owner.m_bPhoneStage[0], 1);
  EXPECT_EQ(owner.m_bRundnload[0], 0);
  EXPECT_TRUE(SameWrites(
      m_rig.m_provider.UsbWrites(),
      {Command(PDA_CMD_HELLO_ACK), Command(PDA_CMD_AFTER_CONNECT), Command(PDA_CMD_PHONE_MODE, kPhoneSize)}));

  // The COM port arrives; Start was pressed, so the worker starts at once.
  owner.m_clock.ClearSleeps();
  const std::size_t logBefore = m_rig.m_log.Text().size();
  ASSERT_TRUE(m_rig.ConnectPort(c.nPort));
  ASSERT_TRUE(owner.WaitPosted(WM_DOWNLOAD_DONE, 1, 60000));
  dl.JoinWorkers();
  EXPECT_EQ(owner.Posted(WM_DOWNLOAD_DONE), 1);
  EXPECT_EQ(m_rig.m_provider.PortNames(), std::vector<std::string>{c.portName});

  // What went over the port, and the log, progress and delays that go with it.
  const PhoneParams params = MakePhoneParams(c.bFullSet);
  const std::string com = "[COM" + std::to_string(c.nPort) + "]";
  std::vector<Bytes> writes{Frame(&CMsmPacket::MakeJumpPacket), Frame(&CMsmPacket::MakeJumpPacket)};
  std::string log = "[PHONE] Attempting to Open COM" + std::to_string(c.nPort) +
                    "...\r\n[PHONE] 1. Opening " + c.portName + " id[0].\r\n[PHONE] Opening COM " +
                    std::to_string(c.nPort) + " Succeed...id[0]\r\nParam.nNumRegions = (" +
                    std::to_string(params.nNumRegions) + ")";
  std::vector<std::pair<int, std::string>> progress;
  // The port's own 500 ms settle after opening, then 800 - 50 x slot and 1000 ms.
  std::vector<std::uint32_t> sleeps{500, 800, 1000, 800, 100, 5, 5};
  for (const RegionRecord& region : params.regions) {
    writes.push_back(Frame(&CMsmPacket::MakeJumpPacket));
    sleeps.push_back(5);
    if (region.dwAreaType == AREA_EFS) {
      if (c.bExtraCmd == 1) {
        writes.push_back(Frame(&CMsmPacket::MakeEfsPacket));
        sleeps.push_back(5);
      }
      sleeps.push_back(1000);
      continue;
    }
    const DWORD length = GetRegionWriteLength(region, kPhoneSize);
    const DWORD blocks = GetPhoneBlockCount(length);
    const std::string name = GetAreaLongName(region.dwAreaType);
    log += FormatText("dwWriteLen = <%d>", static_cast<int>(region.dwWriteLen));
    log += "[PHONE-0] " + com + "Wait for Erasing " + name + "\r\n[PHONE] " + com + "Erasing " + name +
           " Complete.\r\n[nTotalPkt = " + std::to_string(blocks) + "] " + com + " Complete.\r\n";
    writes.push_back(Erase(region.dwStart, length));
    sleeps.insert(sleeps.end(), {500, 200});
    for (DWORD i = 0; i < blocks; ++i) {
      writes.push_back(Block(phone, region.dwStart / 1024 + i));
      sleeps.push_back(5);
      const int percent = static_cast<int>(i * 100.0 / blocks);
      progress.emplace_back(percent, FormatText("%s %s downloading : %3.3d %%", com.c_str(),
                                                GetAreaShortName(region.dwAreaType), percent));
    }
    progress.emplace_back(0, com + " Wait.download is in proceeding...");
    sleeps.push_back(1000);
  }
  log += com + "PHONE Download complete.\r\n";
  progress.emplace_back(0, com + "Phone image complete.");

  EXPECT_TRUE(SameWrites(m_rig.m_provider.PortWrites(), writes));
  EXPECT_EQ(m_rig.m_log.Text().substr(logBefore), log);
  const auto reports = m_rig.m_progress.Reports();
  using Reports = std::vector<std::pair<int, std::string>>;
  ASSERT_GE(reports.size(), progress.size());
  EXPECT_EQ(Reports(reports.end() - static_cast<long>(progress.size()), reports.end()), progress);
  EXPECT_EQ(Sleeps(owner.m_clock), sleeps);
  EXPECT_EQ(dl.GetLogText(), "");  // reset
  EXPECT_EQ(owner.m_bPhoneStage[0], 0);
  EXPECT_EQ(owner.m_bRundnload[0], 0);

  const sim::SimSummary summary = m_rig.EndHandset(10000);
  EXPECT_TRUE(summary.verifyPassed) << summary.ToJson();
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
  ASSERT_EQ(summary.regions.size(), params.regions.size());
  EXPECT_EQ(summary.regions[0].efsCommand, c.bExtraCmd == 1);
}

INSTANTIATE_TEST_SUITE_P(Options, PhoneStagesTest,
                         ::testing::Values(PhoneCase{0, 0, 7, "COM7:"}, PhoneCase{0, 1, 9, "COM9:"},
                                           PhoneCase{1, 2, 10, "\\\\.\\COM10"}, PhoneCase{1, 1, 7, "COM7:"}));

}  // namespace
}  // namespace tw::test
