// What a downloader reports through its run observer: the stages of a whole
// run in order, each ended, inside one run start and one run end; and a run
// that is still open when its downloader goes ends as stopped.
#include <gtest/gtest.h>

#include "tests/download/downloadtestkit.h"

namespace tw::test {
namespace {

constexpr DWORD kPhoneSize = 0x380000 + 3000;  // CODE: 3 blocks

TEST(RunReports, AWholeRunReportsEachStageInsideOneRun) {
  SimRig rig;
  TestOwner& owner = rig.m_owner;
  owner.m_bDownEboot = 1;
  owner.m_bDownPda = 1;
  owner.m_bDownPhone = 1;
  const Bytes phone = Pattern(kPhoneSize, 41);
  rig.LoadPhoneFile(phone);
  TestImages images(Pattern(2000, 42), Pattern(3000, 43), kPhoneSize);
  sim::SimConfig config;
  config.osRequestSizes = {0};
  config.phoneRegions = 2;
  rig.StartHandset(config, images, phone, false);
  CDownLoad& dl = *rig.m_dl;
  ASSERT_TRUE(dl.ConnectPda(&images.table, 0));
  dl.StartDownload(0);
  ASSERT_TRUE(rig.ConnectPort(config.comPort));
  dl.JoinWorkers();

  EXPECT_EQ(
      owner.m_reports.Stages(),
      (std::vector<std::string>{"+hello", "-hello:done", "+eboot", "-eboot:done", "+os_image", "+phone_mode",
                                "-phone_mode:handed_over", "-os_image:handed_over", "+port_opening",
                                "-port_opening:done", "+phone", "+region EFS", "-region EFS:done",
                                "+region CODE", "-region CODE:done", "-phone:done"}));
  EXPECT_EQ(owner.m_reports.Started(), 1);
  const std::vector<RunEnd> ends = owner.m_reports.Ended();
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].outcome, RunOutcome::Done);
  dl.InitDownloader(0);
  EXPECT_TRUE(rig.EndHandset(10000).verifyPassed);
}

// The handset unplugged in the middle of a region: the failure says the
// device vanished, and where.
TEST(RunReports, AHandsetUnpluggedInThePhoneStageIsNamedSo) {
  SimRig rig;
  TestOwner& owner = rig.m_owner;
  owner.m_bDownPhone = 1;
  const Bytes phone = Pattern(kPhoneSize, 41);
  rig.LoadPhoneFile(phone);
  TestImages images(Bytes{}, Bytes{}, kPhoneSize);
  sim::SimConfig config;
  config.phoneRegions = 2;
  config.faults.disconnectPhoneAfterByte = 1500;
  rig.StartHandset(config, images, phone, false);
  ASSERT_TRUE(rig.StartPhoneOnly(images));
  ASSERT_TRUE(rig.ConnectPort(config.comPort));
  rig.m_dl->JoinWorkers();
  const std::vector<RunEnd> ends = owner.m_reports.Ended();
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].outcome, RunOutcome::Failed);
  EXPECT_EQ(ends[0].reason.rfind("the device vanished (CODE block ", 0), 0u) << ends[0].reason;
}

// Connected, never started: closing the program ends the run as stopped,
// once.
TEST(RunReports, ARunOpenAtTheDownloadersEndEndsStopped) {
  SimRig rig;
  TestImages images(Pattern(2000, 42), Pattern(3000, 43), kPhoneSize);
  rig.m_owner.m_bDownEboot = 1;
  rig.StartHandset(sim::SimConfig{}, images, Pattern(kPhoneSize, 41), false);
  ASSERT_TRUE(rig.m_dl->ConnectPda(&images.table, 0));
  rig.m_dl.reset();
  const std::vector<RunEnd> ends = rig.m_owner.m_reports.Ended();
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0].outcome, RunOutcome::Stopped);
  EXPECT_EQ(rig.m_owner.m_reports.Started(), 1);
  EXPECT_TRUE(rig.m_owner.Ends().empty()) << "nothing is posted by a downloader being destroyed";
}

}  // namespace
}  // namespace tw::test
