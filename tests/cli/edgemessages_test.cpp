// What a new user meets first: a device directory or a package that is not
// there is named with its reason, and the headless run ends with status 2
// before it waits for any device.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli/childprocess.h"
#include "tests/firmware/packagefixture.h"
#include "tests/platform/envsetting.h"

namespace tw::test {
namespace {

TEST(EdgeMessages, MissingDeviceDirAndUnreadablePackage) {
  std::string dir = (std::filesystem::temp_directory_path() / "tidewell-edges-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  std::ofstream(dir + "/plain-file") << "x";
  std::filesystem::create_directory(dir + "/dev");
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"--device-dir", dir + "/absent"},
       "tidewell: the device directory " + dir + "/absent does not exist\n"},
      {{"--device-dir", dir + "/plain-file"},
       "tidewell: the device directory " + dir + "/plain-file is not a directory\n"},
      {{"--device-dir", dir + "/dev", "--package", dir + "/absent.exe"},
       "tidewell: cannot read the package " + dir + "/absent.exe: No such file or directory\n"},
      {{"--device-dir", dir + "/dev", "--package", dir + "/dev"},
       "tidewell: cannot read the package " + dir + "/dev: not a file\n"},
      {{"--simulate", "--package", dir + "/absent.exe"},
       "tidewell: cannot read the package " + dir + "/absent.exe: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{TIDEWELL_BIN, "--headless"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args.back());
    ChildProcess upgrader(argv, dir + "/out", dir + "/err");
    ASSERT_TRUE(upgrader.Started());
    EXPECT_EQ(upgrader.Wait(60), 2);
    EXPECT_EQ(ReadFile(dir + "/err"), c.err);
    EXPECT_EQ(ReadFile(dir + "/out"), "");
  }
  std::filesystem::remove_all(dir);
}

// A close grace far beyond the run's bound: the time-out must end the run
// without waiting it.
[[maybe_unused]] ::testing::Environment* const kLongGrace =
    ::testing::AddGlobalTestEnvironment(new EnvSetting("TIDEWELL_CLOSE_GRACE_MS", "600000"));

TEST(EdgeMessages, WithNoHandsetItSaysWhatItAwaitsAndEndsAtItsTimeOut) {
  std::string dir = (std::filesystem::temp_directory_path() / "tidewell-waiting-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  std::filesystem::create_directory(dir + "/dev");
  const std::string package = dir + "/upgrader.exe";
  WritePackage(package, Bytes(64, 1), Bytes(500, 2), Bytes(3000, 3), Bytes(4000, 4),
               SoundHeader(64, 500, 3000, 4000));
  ChildProcess upgrader(
      {TIDEWELL_BIN, "--headless", "--device-dir", dir + "/dev", "--package", package, "--timeout", "1"},
      dir + "/out", dir + "/err");
  ASSERT_TRUE(upgrader.Started());
  EXPECT_EQ(upgrader.Wait(60), 1);
  EXPECT_EQ(ReadFile(dir + "/err"),
            "tidewell: waiting for a handset in reflashing mode in the device directory " + dir +
                "/dev\ntidewell: the run did not end in time\n");
  EXPECT_EQ(ReadFile(dir + "/out"), "");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tw::test
