// tidewell --onefile against the simulated handset: the one-file image is
// opened in the current directory before the first device, its parts are
// extracted there, and the handset finds what it was sent equal to the
// package of the same three images; a file the selections refuse ends the
// run at once with status 2.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/tool_commands.h"
#include "tests/cli/childprocess.h"
#include "tests/tools/scratchdir.h"
#include "tools/onefilewriter.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

constexpr int kRunBoundSeconds = 240;

struct Outcome {
  int status;
  std::string err;
};

Outcome RunTidewell(std::vector<std::string> args) {
  args.insert(args.begin(), TIDEWELL_BIN);
  ChildProcess child(args, "out.txt", "err.txt");
  EXPECT_TRUE(child.Started());
  const int status = child.Wait(kRunBoundSeconds);
  return {status, ReadFile("err.txt")};
}

class TidewellSelectionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Three images (a phone image of whole KiB, so that its last block is
    // the same from a package and from a file of its own), their package,
    // and their one-file image.
    fs::create_directory("src");
    WriteBytes("src/eboot.nb0", SeededBytes(64 * 1024, 21));
    WriteBytes("src/pda.bin", SeededBytes(300000, 22));
    WriteBytes("src/phone.bin", SeededBytes(4 * 1024 * 1024, 23));
    WriteBytes("stand-in", SeededBytes(4096, 24));
    ::testing::internal::CaptureStdout();
    const int packed = RunPack({"--eboot", "src/eboot.nb0", "--pda", "src/pda.bin", "--phone",
                                "src/phone.bin", "--upgrader", "stand-in", "-o", "package"});
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(packed, 0);
    ASSERT_EQ(WriteOneFileImage("all.img", "src", "eboot.nb0", "pda.bin", "phone.bin"), 0);
    fs::create_directory("run");
    fs::current_path("run");
  }

  ScratchDir m_dir;
};

TEST_F(TidewellSelectionsTest, OneFileImageFlashesTheSimulatedHandset) {
  const Outcome outcome = RunTidewell(
      {"--headless", "--simulate", "--package", "../package", "--onefile", "../all.img", "--timeout", "200"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.err.find("simulated handset verification: passed"), std::string::npos) << outcome.err;
  for (const char* name : {"eboot.nb0", "pda.bin", "phone.bin"}) {
    EXPECT_EQ(ReadBytes(name), ReadBytes(fs::path("../src") / name)) << name;
  }
}

TEST_F(TidewellSelectionsTest, RefusedFileEndsTheRunAtOnce) {
  WriteBytes("phone.txt", SeededBytes(4096, 25));
  const Outcome outcome =
      RunTidewell({"--headless", "--simulate", "--package", "../package", "--phone", "phone.txt"});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_NE(outcome.err.find("tidewell: --phone phone.txt: a phone binary's name ends in .bin"),
            std::string::npos)
      << outcome.err;
}

}  // namespace
}  // namespace tw::test
