// Replies and answers of the handset that reach the host in pieces, their
// gaps in real time. The PDA side completes each reply before it judges it
// (the split fault), so the stages stay in step and every image arrives
// whole; the phone side waits for every answer in pieces in both pacings.
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

struct PiecesCase {
  PhonePacing pacing;
  std::uint32_t pieces;
  std::uint32_t gapMs;
};

void PrintTo(const PiecesCase& c, std::ostream* os) {
  *os << (c.pacing == PhonePacing::Answer ? "answer" : "fixed") << " pacing, " << c.pieces << " pieces "
      << c.gapMs << " ms apart";
}

class AnswersInPiecesTest : public ::testing::TestWithParam<PiecesCase> {};

// Every block acknowledged, nothing sent twice (the same writes as a run with
// whole answers), nothing lost (the handset verifies the regions). Fixed
// pacing is shown only with answers that are whole within its 5 ms pause: it
// reads the unread answers to the opening jumps with the first region's jump,
// and answers still arriving after that put it out of step.
TEST_P(AnswersInPiecesTest, EveryBlockIsAcknowledgedOnceAndArrives) {
  const PiecesCase& c = GetParam();
  const Bytes phone = Pattern(0x380000 + 12 * 1024 + 10, 51);  // CODE: 13 blocks
  const PhoneRunResult whole = RunPhoneOnly(c.pacing, sim::SimConfig{}, phone, false);
  sim::SimConfig config;
  config.faults.answerPieces = c.pieces;
  config.faults.answerGapMs = c.gapMs;
  const PhoneRunResult run = RunPhoneOnly(c.pacing, config, phone, true);
  EXPECT_EQ(run.lastProgress, "[COM7]Phone image complete.");
  EXPECT_TRUE(SameWrites(run.portWrites, whole.portWrites));
  EXPECT_TRUE(run.summary.verifyPassed) << run.summary.ToJson();
  EXPECT_TRUE(run.summary.violations.empty()) << run.summary.ToJson();
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, AnswersInPiecesTest,
    ::testing::Values(PiecesCase{PhonePacing::Answer, 2, 1}, PiecesCase{PhonePacing::Answer, 3, 4},
                      PiecesCase{PhonePacing::Answer, 5, 4}, PiecesCase{PhonePacing::Answer, 4, 2},
                      PiecesCase{PhonePacing::Fixed, 3, 1}, PiecesCase{PhonePacing::Fixed, 2, 3}));

}  // namespace
}  // namespace tw::test
