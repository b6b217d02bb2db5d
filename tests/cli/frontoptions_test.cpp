// The command line of tidewell: what it accepts and what it refuses.
#include "cli/frontoptions.h"

#include <gtest/gtest.h>

#include <vector>

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
