// tidewell-tool onefile and merge: exit statuses and what they print.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/tool_commands.h"
#include "tests/tools/scratchdir.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
};

Outcome RunCommand(int (*command)(const ToolArgs&), const ToolArgs& args) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  int status = command(args);
  std::string out = ::testing::internal::GetCapturedStdout();
  return {status, out, ::testing::internal::GetCapturedStderr()};
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ToolCommandsTest, OneFileMakeThenOpenElsewhere) {
  ScratchDir dir;
  WriteBytes("e.nb0", SeededBytes(3000, 1));
  WriteBytes("p.bin", SeededBytes(5000, 2));
  WriteBytes("ph.bin", SeededBytes(2100, 3));
  WriteText("OneImgMergy.ini",
            "[ONEFILE_IMAGE]\nFILE_DIR=" + dir.Path().string() +
                "\nEBOOT_NAME=e.nb0\nPDA_NAME=p.bin\nPHONE_NAME=ph.bin\nOUTPUT_FILE=all.img\n");
  Outcome made = RunCommand(RunOneFile, {"make"});
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, "Make OneFileMergy Success !\n");

  fs::create_directory("x");
  fs::current_path("x");
  Outcome opened = RunCommand(RunOneFile, {"open", "../all.img"});
  EXPECT_EQ(opened.status, 0) << opened.err;
  EXPECT_EQ(opened.out, "EBOOT  e.nb0: 3000 bytes\nPDA    p.bin: 5000 bytes\nPHONE  ph.bin: 2100 bytes\n");
  for (const char* name : {"e.nb0", "p.bin", "ph.bin"}) {
    EXPECT_EQ(ReadBytes(name), ReadBytes(fs::path("..") / name)) << name;
  }
}

TEST(ToolCommandsTest, FailuresAndUsage) {
  ScratchDir dir;
  WriteBytes("e.nb0", SeededBytes(900, 1));
  WriteBytes("empty", Bytes{});
  WriteText("bad.ini", "[ONEFILE_IMAGE]\nFILE_DIR=" + dir.Path().string() +
                           "\nEBOOT_NAME=e.nb0\nPDA_NAME=empty\nPHONE_NAME=e.nb0\nOUTPUT_FILE=o.img\n");
  WriteText("big.ini", "[BOOT_IMAGE]\nFILE_COUNT=101\nOUTPUT_FILE=m.img\n");
  WriteText("miss.ini", "[BOOT_IMAGE]\nFILE_COUNT=1\nFILE_DIR=" + dir.Path().string() +
                            "\nFILE_NAME1=absent\nFILE_END_ADDRESS=4\nOUTPUT_FILE=m.img\n");
  struct CommandCase {
    int (*command)(const ToolArgs&);
    ToolArgs args;
    int status;
    std::string err;
  };
  const CommandCase cases[] = {
      {RunOneFile,
       {"make", "--ini", "bad.ini"},
       1,
       "MakeOneFile Error -25\ntidewell-tool onefile: the PDA file is empty"},
      {RunOneFile, {"make"}, 1, "no INI file " + (dir.Path() / "OneImgMergy.ini").string()},
      {RunOneFile, {"open", "e.nb0"}, 1, "This file is Unsupported format !!\n"},
      {RunOneFile, {"open", "absent.img"}, 1, "the image file cannot be opened (-1)"},
      {RunOneFile, {"open"}, 2, "usage:"},
      {RunOneFile, {"make", "--frob"}, 2, "unknown option --frob"},
      {RunMerge, {"--ini", "big.ini"}, 1, "FILE_COUNT 101 is outside 0 to 100; the merge set is refused"},
      {RunMerge,
       {"--ini", "miss.ini"},
       1,
       "Couldn't Open the File " + (dir.Path() / "absent").string() + "!!"},
      {RunMerge, {}, 1, "no INI file"},
      {RunMerge, {"extra"}, 2, "usage:"},
  };
  for (const CommandCase& c : cases) {
    Outcome outcome = RunCommand(c.command, c.args);
    EXPECT_EQ(outcome.status, c.status) << c.err;
    EXPECT_TRUE(Has(outcome.err, c.err)) << outcome.err;
  }
  EXPECT_FALSE(fs::exists("m.img"));
}

}  // namespace
}  // namespace tw::test
