// The station's account of its runs: the summary lines and the exit status.
#include "cli/stationtally.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

RunEnd End(int nSlot, RunOutcome outcome, std::string location = {}, int nComPort = 0,
           std::vector<std::string> skipped = {}, std::string reason = {}) {
  RunEnd end;
  end.nSlot = nSlot;
  end.outcome = outcome;
  end.location = std::move(location);
  end.nComPort = nComPort;
  end.skippedRegions = std::move(skipped);
  end.reason = std::move(reason);
  return end;
}

TEST(StationTally, OneLinePerRunInTheOrderTheyEnded) {
  int nEnded = 0;
  CStationTally tally(false, [&nEnded](int n) { nEnded = n; });
  tally.OnRunStarted(1);
  tally.OnRunStarted(0);
  tally.OnRunEnded(End(1, RunOutcome::Done, "1-2", 8, {"EFS"}));
  tally.OnRunEnded(End(0, RunOutcome::Failed, "", 0, {}, "the handset sent no hello (time-out)"));
  EXPECT_EQ(nEnded, 2);
  const std::vector<std::string> lines = tally.SummaryLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].starts_with("tidewell: run 1: slot 1 at 1-2 on COM8: done in ")) << lines[0];
  EXPECT_TRUE(lines[0].ends_with(" s, skipped EFS")) << lines[0];
  EXPECT_TRUE(
      lines[1].starts_with("tidewell: run 2: slot 0 at an unknown location without a COM port: failed"))
      << lines[1];
  EXPECT_TRUE(lines[1].ends_with("(the handset sent no hello (time-out))")) << lines[1];
}

TEST(StationTally, ExitStatusIsZeroOnlyWhenEveryRunSucceeded) {
  const struct {
    const char* name;
    bool bStrict;
    std::vector<RunEnd> ends;
    int status;
  } cases[] = {
      {"no run (SIGINT on an idle station)", false, {}, 0},
      {"all done", false, {End(0, RunOutcome::Done), End(1, RunOutcome::Done)}, 0},
      {"one stopped", false, {End(0, RunOutcome::Done), End(1, RunOutcome::Stopped)}, 1},
      {"one failed", false, {End(0, RunOutcome::Failed), End(1, RunOutcome::Done)}, 1},
      {"skipped, not strict", false, {End(0, RunOutcome::Done, "", 0, {"EFS"})}, 0},
      {"skipped, strict", true, {End(0, RunOutcome::Done, "", 0, {"EFS"})}, 1},
  };
  for (const auto& c : cases) {
    CStationTally tally(c.bStrict, nullptr);
    for (const RunEnd& end : c.ends) tally.OnRunEnded(end);
    EXPECT_EQ(tally.ExitStatus(), c.status) << c.name;
  }
}

}  // namespace
}  // namespace tw
