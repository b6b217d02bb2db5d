// Answer pacing next to fixed pacing, against the simulated handset: the same
// bytes on the wire, every image verified, and a slow flash waited for.
#include <gtest/gtest.h>

#include "tests/download/downloadtestkit.h"
#include "tests/platform/envsetting.h"

namespace tw::test {
namespace {

// A short answer wait: an unanswered jump's ten attempts end in seconds.
[[maybe_unused]] ::testing::Environment* const kRxFloor =
    ::testing::AddGlobalTestEnvironment(new EnvSetting("TIDEWELL_PHONE_RX_FLOOR_MS", "200"));

constexpr int kComPort = 7;
constexpr DWORD kPhoneSize = 0x380000 + 20 * 1024 + 300;  // CODE: 21 blocks, the last one partly filled

// What a whole upgrade left behind.
struct UpgradeResult {
  std::vector<Bytes> usbWrites;
  std::vector<Bytes> portWrites;
  sim::SimSummary summary;
  std::string lastProgress;
  int nDonePosts = 0;
};

// A whole upgrade (EBOOT, OS image, all seven phone regions) through a SimRig
// in virtual time, with this pacing.
UpgradeResult UpgradeWithPacing(PhonePacing pacing) {
  SimRig rig;
  TestOwner& owner = rig.m_owner;
  owner.UsePacing(pacing);
  owner.m_bDownEboot = 1;
  owner.m_bDownPda = 1;
  owner.m_bDownPhone = 1;
  owner.m_bPhoneFullSet = 1;
  const Bytes phone = Pattern(kPhoneSize, 41);
  TestImages images(Pattern(4500, 42), Pattern(30000, 43), kPhoneSize);
  rig.LoadPhoneFile(phone);
  sim::SimConfig config;
  config.comPort = kComPort;
  config.phoneRegions = 7;
  config.osRequestSizes = {3000, 0};
  rig.StartHandset(config, images, phone, true);
  CDownLoad& dl = *rig.m_dl;
  if (dl.ConnectPda(&images.table, 0)) {
    dl.StartDownload(0);
    if (rig.ConnectPort(kComPort)) owner.WaitPosted(WM_DOWNLOAD_DONE, 1, 60000);
  }
  dl.JoinWorkers();
  UpgradeResult result;
  result.usbWrites = rig.m_provider.UsbWrites();
  result.portWrites = rig.m_provider.PortWrites();
  const std::vector<std::string> texts = rig.m_progress.Texts();
  result.lastProgress = texts.empty() ? std::string() : texts.back();
  result.nDonePosts = owner.Posted(WM_DOWNLOAD_DONE);
  result.summary = rig.EndHandset(10000);
  return result;
}

TEST(Pacing, WholeUpgradeVerifiesInBothModesWithTheSameBytesOnTheWire) {
  const UpgradeResult fixed = UpgradeWithPacing(PhonePacing::Fixed);
  const UpgradeResult answer = UpgradeWithPacing(PhonePacing::Answer);
  for (const UpgradeResult* run : {&fixed, &answer}) {
    SCOPED_TRACE(run == &fixed ? "fixed" : "answer");
    EXPECT_EQ(run->lastProgress, "[COM7]Phone image complete.");
    EXPECT_EQ(run->nDonePosts, 1);
    EXPECT_EQ(run->summary.end, "phone-done") << run->summary.ToJson();
    EXPECT_TRUE(run->summary.verifyPassed) << run->summary.ToJson();
    EXPECT_TRUE(run->summary.violations.empty()) << run->summary.ToJson();
  }
  EXPECT_TRUE(SameWrites(answer.usbWrites, fixed.usbWrites));
  EXPECT_TRUE(SameWrites(answer.portWrites, fixed.portWrites));
  EXPECT_GT(fixed.portWrites.size(), 500u);
}

// A slow flash answers each block 8 ms after it came, longer than the fixed
// pause: both pacings wait for the answer; nothing is sent twice.
TEST(Pacing, ASlowFlashIsWaitedForWithoutAResend) {
  const Bytes phone = Pattern(kPhoneSize, 44);
  const PhoneRunResult reference = RunPhoneOnly(PhonePacing::Fixed, sim::SimConfig{}, phone, false);
  ASSERT_TRUE(reference.summary.verifyPassed) << reference.summary.ToJson();
  for (PhonePacing pacing : {PhonePacing::Answer, PhonePacing::Fixed}) {
    SCOPED_TRACE(pacing == PhonePacing::Answer ? "answer" : "fixed");
    sim::SimConfig config;
    config.faults.blockAnswerDelayMs = 8;
    const PhoneRunResult run = RunPhoneOnly(pacing, config, phone, true);
    EXPECT_EQ(run.lastProgress, "[COM7]Phone image complete.");
    EXPECT_TRUE(run.summary.verifyPassed) << run.summary.ToJson();
    EXPECT_TRUE(run.summary.violations.empty()) << run.summary.ToJson();
    EXPECT_TRUE(SameWrites(run.portWrites, reference.portWrites));
  }
}

// The handset acknowledges the opening jumps but never the first region's
// jump. Fixed pacing would read the opening jumps' answers with it and go on
// (one answer behind); answer pacing judges the answers to that jump alone:
// ten attempts, then the jump failure.
TEST(Pacing, AnswerPacingJudgesTheFirstRegionsJumpByItsOwnAnswers) {
  const Bytes phone = Pattern(kPhoneSize, 45);
  sim::SimConfig config;
  config.faults.noAckJumpRegion = 1;
  const PhoneRunResult run = RunPhoneOnly(PhonePacing::Answer, config, phone, false);
  EXPECT_EQ(run.lastProgress, "[COM7] PHONE download fail.[id0]");
  EXPECT_EQ(run.portWrites.size(), 2u + 10u);
}

}  // namespace
}  // namespace tw::test
