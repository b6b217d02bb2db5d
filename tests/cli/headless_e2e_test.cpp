// tidewell --headless against tidewell-sim on a shared device directory:
// a whole run, a phone block without its answer, and a jump never answered.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "cli/simulation.h"
#include "tests/cli/childprocess.h"
#include "tests/cli/headlessrunfixture.h"

namespace tw::test {
namespace {

// The last "progress NNN% text" line's text.
std::string LastProgressText(const std::string& err) {
  std::string last;
  std::size_t at = 0;
  while ((at = err.find("progress ", at)) != std::string::npos) {
    std::size_t textStart = err.find("% ", at) + 2;
    std::size_t lineEnd = err.find('\n', textStart);
    last = err.substr(textStart, lineEnd - textStart);
    at = lineEnd;
  }
  return last;
}

using HeadlessRun = HeadlessRunFixture;

TEST_F(HeadlessRun, WholeRunSucceedsAndHandsetVerifies) {
  RunResult r = Run({});
  EXPECT_EQ(r.nUpgrader, 0) << r.strProgress;
  EXPECT_EQ(LastProgressText(r.strProgress), "[COM7]Phone image complete.");
  EXPECT_NE(r.strSummary.find("\"verified\":true,\"verifyPassed\":true"), std::string::npos) << r.strSummary;
  EXPECT_NE(r.strSummary.find("\"violations\":[]"), std::string::npos) << r.strSummary;
  EXPECT_EQ(r.strSummary.rfind("{\"end\":\"phone-done\"", 0), 0u) << r.strSummary;
  // stdout is the log and nothing else: it begins with the connect's first
  // line and its lines end as "\n", never "\r\n".
  EXPECT_EQ(r.strLog.rfind("[StartDownload => 0] StartDownload !!\n", 0), 0u) << r.strLog;
  EXPECT_EQ(r.strLog.find('\r'), std::string::npos);
  EXPECT_NE(r.strLog.find("[PDA]OS image download complete.\n"), std::string::npos);
  EXPECT_EQ(r.strLog.find("progress"), std::string::npos);
  EXPECT_EQ(r.strLog.find("Attempting to open"), std::string::npos);  // a library's own print
}

// A handset whose entries carry its location (pda@1-4, COM9@1-4) is served
// as one without: COM9 opens its located entry.
TEST_F(HeadlessRun, AHandsetWithALocationUpgrades) {
  RunResult r = Run({"--location", "1-4", "--com", "9"});
  EXPECT_EQ(r.nUpgrader, 0) << r.strProgress;
  EXPECT_EQ(LastProgressText(r.strProgress), "[COM9]Phone image complete.");
  EXPECT_EQ(r.strSummary.rfind("{\"location\":\"1-4\",\"end\":\"phone-done\"", 0), 0u) << r.strSummary;
  EXPECT_NE(r.strSummary.find("\"verified\":true,\"verifyPassed\":true"), std::string::npos) << r.strSummary;
}

// Every reply and answer of the handset reaches the upgrader in pieces.
TEST_F(HeadlessRun, RepliesInPiecesStillVerify) {
  RunResult r = Run({"--split", "3", "--split-gap", "2"});
  EXPECT_EQ(r.nUpgrader, 0) << r.strProgress;
  EXPECT_EQ(LastProgressText(r.strProgress), "[COM7]Phone image complete.");
  EXPECT_NE(r.strSummary.find("\"verified\":true,\"verifyPassed\":true"), std::string::npos) << r.strSummary;
  EXPECT_NE(r.strSummary.find("\"violations\":[]"), std::string::npos) << r.strSummary;
}

// Answer pacing against a modem whose answers come in pieces and whose flash
// answers each block late.
TEST_F(HeadlessRun, AnswerPacingWaitsForAnswersInPiecesAndASlowFlash) {
  RunResult r =
      Run({"--answer-pieces", "3", "--answer-gap", "2", "--block-delay", "8"}, {"--pacing", "answer"});
  EXPECT_EQ(r.nUpgrader, 0) << r.strProgress;
  EXPECT_EQ(LastProgressText(r.strProgress), "[COM7]Phone image complete.");
  EXPECT_NE(r.strSummary.find("\"verified\":true,\"verifyPassed\":true"), std::string::npos) << r.strSummary;
  EXPECT_NE(r.strSummary.find("\"violations\":[]"), std::string::npos) << r.strSummary;
}

TEST_F(HeadlessRun, MissingPhoneBlockAnswerFails) {
  RunResult r = Run({"--no-answer-block", "10"});
  EXPECT_EQ(r.nUpgrader, 1) << r.strProgress;
  EXPECT_EQ(LastProgressText(r.strProgress), "id[0]-[COM7] PHONE download fail.--");
}

TEST_F(HeadlessRun, UnansweredJumpEndsAtOnce) {
  // Region 2 is CODE, after the EFS region's jump.
  RunResult r = Run({"--no-ack-jump", "2"});
  EXPECT_EQ(r.nUpgrader, 1) << r.strProgress;
  EXPECT_EQ(LastProgressText(r.strProgress), "[COM7] PHONE download fail.[id0]");
  EXPECT_NE(r.strLog.find("[PHONE] [COM7] Jump fail...\n"), std::string::npos);
  // Ended by the failure itself, not by the time-out.
  EXPECT_EQ(r.strProgress.find("did not end in time"), std::string::npos);
}

// Four simulated handsets at once, their modem ports arriving in the reverse
// order of their PDA interfaces: every run takes the port at its own
// handset's location (as its record says), and every handset verifies.
TEST_F(HeadlessRun, SimulatedHandsetsInParallelEachVerify) {
  const std::string record = m_dir + "/runs.jsonl";
  ChildProcess upgrader({TIDEWELL_BIN, "--headless", "--simulate", "--slots", "4", "--package", m_package,
                         "--record", record, "--timeout", "100"},
                        m_dir + "/tw.out", m_dir + "/tw.err");
  const int status = upgrader.Wait(kRunBoundSeconds);
  const std::string err = ReadFile(m_dir + "/tw.err");
  EXPECT_EQ(status, 0) << err;
  for (int k = 1; k <= 4; ++k) {
    const std::string summary = "simulated handset " + std::to_string(k) + ": {\"location\":\"1-" +
                                std::to_string(k) + "\",\"end\":\"phone-done\"";
    EXPECT_NE(err.find(summary), std::string::npos) << err;
  }
  EXPECT_NE(err.find("\nsimulated handset verification: passed\n"), std::string::npos) << err;

  std::ifstream runs(record);
  std::set<int> slots;
  std::set<std::string> locations;
  for (std::string line; std::getline(runs, line);) {
    const nlohmann::json run = nlohmann::json::parse(line);
    const std::string location = run["location"];
    ASSERT_TRUE(location.starts_with("1-")) << line;
    EXPECT_EQ(run["com_port"], 6 + std::stoi(location.substr(2))) << line;
    EXPECT_EQ(run["outcome"], "done") << line;
    slots.insert(run["slot"].get<int>());
    locations.insert(location);
  }
  EXPECT_EQ(slots, (std::set<int>{0, 1, 2, 3}));
  EXPECT_EQ(locations, (std::set<std::string>{"1-1", "1-2", "1-3", "1-4"}));
}

TEST_F(HeadlessRun, NoImageSetEndsBeforeAnyDevice) {
  std::string notPackage = m_dir + "/not-a-package";
  std::ofstream(notPackage) << "no trailer here";
  ChildProcess upgrader({TIDEWELL_BIN, "--headless", "--device-dir", m_devDir, "--package", notPackage},
                        m_dir + "/tw.out", m_dir + "/tw.err");
  EXPECT_EQ(upgrader.Wait(kRunBoundSeconds), 2);
  EXPECT_NE(ReadFile(m_dir + "/tw.err")
                .find("no complete image set in " + notPackage +
                      ": no package: the file is shorter than the 36-byte sImageHeader"),
            std::string::npos);
  EXPECT_EQ(ReadFile(m_dir + "/tw.out"), "");
}

TEST_F(HeadlessRun, UsageErrorsExitTwo) {
  const std::vector<std::vector<std::string>> cases{
      {"--headless", "--bogus"},
      {"--headless", "--timeout", "soon"},
      {"--headless", "--device-dir"},
      {"--headless"},  // no device source
  };
  for (const auto& args : cases) {
    std::vector<std::string> argv{TIDEWELL_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess upgrader(argv, m_dir + "/tw.out", m_dir + "/tw.err");
    EXPECT_EQ(upgrader.Wait(kRunBoundSeconds), 2) << args.back();
  }
}

}  // namespace
}  // namespace tw::test
