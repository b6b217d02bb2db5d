// The command line of tidewell: what it accepts and what it refuses.
#include "cli/frontoptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "app/tidewelldlglogic.h"
#include "cli/frontsetup.h"
#include "tests/platform/testfiles.h"

namespace tw {
namespace {

bool Parse(std::vector<const char*> args, FrontOptions* options, std::string* error) {
  args.insert(args.begin(), "tidewell");
  return ParseFrontOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(FrontOptions, AcceptsTheRunOptions) {
  FrontOptions options;
  std::string error;
  ASSERT_TRUE(
      Parse({"--headless", "--device-dir", "/d", "--package", "/p", "--timeout", "30"}, &options, &error))
      << error;
  EXPECT_TRUE(options.bHeadless);
  EXPECT_EQ(options.strDeviceDir, "/d");
  EXPECT_EQ(options.strPackage, "/p");
  EXPECT_EQ(options.nTimeoutSeconds, 30);
  EXPECT_FALSE(options.bSimulate);

  FrontOptions simulate;
  ASSERT_TRUE(Parse({"--simulate", "--released-sizes"}, &simulate, &error)) << error;
  EXPECT_TRUE(simulate.bSimulate);
  EXPECT_TRUE(simulate.bReleasedSizes);
  EXPECT_FALSE(simulate.nTimeoutSeconds.has_value());
}

TEST(FrontOptions, TheStationRunsHeadless) {
  FrontOptions options;
  std::string error;
  ASSERT_TRUE(Parse({"--station", "--slots", "8", "--count", "50", "--strict"}, &options, &error)) << error;
  EXPECT_TRUE(options.bHeadless);
  EXPECT_EQ(options.nSlots, 8);
  EXPECT_EQ(options.nCount, 50);
  EXPECT_TRUE(options.bStrict);
  FrontOptions window;
  ASSERT_TRUE(Parse({"--slots", "3", "--auto-start"}, &window, &error)) << error;
  EXPECT_FALSE(window.bHeadless);
  EXPECT_TRUE(window.bAutoStart);
  EXPECT_EQ(window.nSlots, 3);
}

TEST(FrontOptions, PacingIsFixedUnlessAnswerIsAsked) {
  const std::vector<std::pair<std::vector<const char*>, PhonePacing>> cases{
      {{}, PhonePacing::Fixed},
      {{"--pacing", "fixed"}, PhonePacing::Fixed},
      {{"--pacing", "answer"}, PhonePacing::Answer},
      {{"--headless", "--pacing", "answer", "--simulate"}, PhonePacing::Answer},
  };
  for (const auto& [args, pacing] : cases) {
    FrontOptions options;
    std::string error;
    ASSERT_TRUE(Parse(args, &options, &error)) << error;
    EXPECT_EQ(options.pacing, pacing) << args.size();
  }
}

// Both front ends, the window and the terminal, take their services from the
// set-up: the pacing reaches the dialog's logic, which the downloaders ask.
TEST(FrontOptions, ThePacingReachesTheDialogsLogic) {
  const std::string dir = test::MakeTempDir("tidewell-pacing-");
  for (PhonePacing pacing : {PhonePacing::Fixed, PhonePacing::Answer}) {
    FrontOptions options;
    options.strDeviceDir = dir;
    options.pacing = pacing;
    CFrontSetup setup;
    std::string error;
    ASSERT_TRUE(setup.Prepare(options, &error)) << error;
    CTidewellDlgLogic logic(setup.Services());
    EXPECT_EQ(logic.Pacing(), pacing);
  }
  std::filesystem::remove_all(dir);
}

TEST(FrontOptions, RefusesWhatItCannotUse) {
  const std::vector<std::vector<const char*>> cases{
      {"--bogus"},
      {"--device-dir"},
      {"--device-dir", ""},
      {"--package", "/a", "--package", "/b"},
      {"--timeout", "0"},
      {"--timeout", "-5"},
      {"--timeout", "12s"},
      {"--timeout", "86401"},
      {"--simulate", "--device-dir", "/d"},
      {"--released-sizes"},
      {"--simulate", "--released-sizes", "--package", "/p"},
      {"--pacing"},
      {"--pacing", "fast"},
      {"--pacing", "Answer"},
      {"--pacing", "answer", "--pacing", "fixed"},
      {"--slots", "0"},
      {"--slots", "9"},
      {"--slots", "2", "--slots", "3"},
      {"--count", "3"},
      {"--station", "--count", "0"},
      {"--station", "--count", "1", "--count", "2"},
  };
  for (const auto& args : cases) {
    FrontOptions options;
    std::string error;
    EXPECT_FALSE(Parse(args, &options, &error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

}  // namespace
}  // namespace tw
