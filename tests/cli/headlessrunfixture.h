// A whole headless run against tidewell-sim on a shared device directory,
// both as child processes: a temporary directory with a generated package of
// small images, short time-outs, and the outputs of both programs.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/simulation.h"
#include "tests/cli/childprocess.h"

namespace tw::test {

// Small images: the PDA side in a few hundred records, the phone's CODE
// region (from 0x380000 to the image's end) in 64 blocks.
constexpr GeneratedSizes kSmallSizes{64 * 1024, 256 * 1024, 0x380000 + 64 * 1024};
// Generous bounds for a run of a few seconds; reaching one is a failure.
constexpr int kRunBoundSeconds = 120;

struct RunResult {
  int nUpgrader = 0;
  std::string strLog;       // the upgrader's stdout
  std::string strProgress;  // the upgrader's stderr
  std::string strSummary;   // the handset's stdout
};

class HeadlessRunFixture : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "tidewell-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
    m_devDir = m_dir + "/dev";
    std::filesystem::create_directory(m_devDir);
    std::string error;
    ASSERT_TRUE(WriteGeneratedPackage(m_dir, kSmallSizes, false, &m_package, &error)) << error;
    // Quick phone answers and no close grace: the faults below end in
    // seconds, not in the defaults' tens of seconds.
    setenv("TIDEWELL_PHONE_RX_FLOOR_MS", "300", 1);
    setenv("TIDEWELL_CLOSE_GRACE_MS", "0", 1);
    // Replies in pieces are completed within a bound far above the pieces'
    // gaps, even on a loaded machine.
    setenv("TIDEWELL_REPLY_QUIET_MS", "200", 1);
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  RunResult Run(const std::vector<std::string>& faults, const std::vector<std::string>& options = {}) {
    std::vector<std::string> simArgs{TIDEWELL_SIM_BIN, "--device-dir", m_devDir, "--verify", m_package};
    simArgs.insert(simArgs.end(), faults.begin(), faults.end());
    ChildProcess handset(simArgs, m_dir + "/sim.out", m_dir + "/sim.err");
    std::vector<std::string> upgraderArgs{TIDEWELL_BIN, "--headless", "--device-dir", m_devDir,
                                          "--package",  m_package,    "--timeout",    "100"};
    upgraderArgs.insert(upgraderArgs.end(), options.begin(), options.end());
    ChildProcess upgrader(upgraderArgs, m_dir + "/tw.out", m_dir + "/tw.err");
    RunResult result;
    result.nUpgrader = upgrader.Wait(kRunBoundSeconds);
    // The handset ends when the host lets go of its port; one that still
    // waits is ended by the bound.
    handset.Wait(10);
    result.strLog = ReadFile(m_dir + "/tw.out");
    result.strProgress = ReadFile(m_dir + "/tw.err");
    result.strSummary = ReadFile(m_dir + "/sim.out");
    return result;
  }

  std::string m_dir;
  std::string m_devDir;
  std::string m_package;
};

}  // namespace tw::test
