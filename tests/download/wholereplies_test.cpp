// Replies of the handset that reach the host in pieces (the simulated
// handset's split fault, its gaps in real time): the PDA side completes each
// reply before it judges it, so the stages stay in step and every image
// arrives whole.
#include <gtest/gtest.h>

#include "tests/download/downloadtestkit.h"
#include "tests/platform/envsetting.h"

namespace tw::test {
namespace {

// Far above any gap between two pieces, even on a loaded machine.
[[maybe_unused]] ::testing::Environment* const kQuietTime =
    ::testing::AddGlobalTestEnvironment(new EnvSetting("TIDEWELL_REPLY_QUIET_MS", "200"));

struct SplitCase {
  std::uint32_t seed;
  std::uint32_t gapMs;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
  *os << "seed " << c.seed << ", gap " << c.gapMs << " ms";
}

class SplitRepliesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitRepliesTest, EveryPdaImageArrivesAndNothingIsOutOfTurn) {
  const SplitCase& c = GetParam();
  SimRig rig;
  rig.HandsetInRealTime();
  TestImages images(Pattern(5000, 31), Pattern(20000, 32), 0);
  TestOwner& owner = rig.m_owner;
  owner.m_bDownEboot = 1;
  owner.m_bDownPda = 1;
  owner.m_bDownPhone = 0;
  sim::SimConfig config;
  config.osRequestSizes = {3000, 7000, 0};
  config.faults.splitReplies = true;
  config.faults.splitSeed = c.seed;
  config.faults.splitGapMs = c.gapMs;
  rig.StartHandset(config, images, {}, false);

  CDownLoad& dl = *rig.m_dl;
  ASSERT_TRUE(dl.ConnectPda(&images.table, 0));
  dl.StartDownload(0);
  ASSERT_TRUE(owner.WaitPosted(WM_DOWNLOAD_DONE, 1, 60000));
  dl.JoinWorkers();
  EXPECT_EQ(owner.Posted(WM_DOWNLOAD_DONE), 1);
  const auto texts = rig.m_progress.Texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "PDA OS image completed.");

  const sim::SimSummary summary = rig.EndHandset(10000);
  EXPECT_EQ(summary.end, "finish") << summary.ToJson();
  EXPECT_EQ(summary.eboot.verify.result, "match") << summary.ToJson();
  EXPECT_EQ(summary.os.verify.result, "match") << summary.ToJson();
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
}

INSTANTIATE_TEST_SUITE_P(Seeds, SplitRepliesTest,
                         ::testing::Values(SplitCase{1, 0}, SplitCase{3, 1}, SplitCase{5, 4},
                                           SplitCase{7, 2}));

}  // namespace
}  // namespace tw::test
