// Every program and every tidewell-tool subcommand answers --help, -h and
// --version as Linux programs do: usage or version on stdout and status 0;
// a usage error prints the usage on stderr and ends with status 2.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/childprocess.h"
#include "tidewellversion.h"

namespace tw::test {
namespace {

struct Case {
  std::vector<std::string> args;  // the program first
  int status;
  std::string out;  // stdout begins with this ("" : stdout is empty)
  std::string err;  // stderr holds this ("" : stderr is empty)
};

const std::string kTidewell = TIDEWELL_BIN;
const std::string kTool = TIDEWELL_TOOL_BIN;
const std::string kSim = TIDEWELL_SIM_BIN;
const std::string kVersion = TIDEWELL_VERSION;

std::vector<Case> Cases() {
  std::vector<Case> cases = {
      {{kTidewell, "--help"}, 0, "usage: tidewell ", ""},
      {{kTidewell, "-h"}, 0, "usage: tidewell ", ""},
      {{kTidewell, "--version"}, 0, "tidewell " + kVersion + "\n", ""},
      {{kTidewell, "--frobnicate"}, 2, "", "usage: tidewell "},
      {{kTidewell, "--timeout", "0"}, 2, "", "usage: tidewell "},
      {{kSim, "--help"}, 0, "usage: tidewell-sim ", ""},
      {{kSim, "-h"}, 0, "usage: tidewell-sim ", ""},
      {{kSim, "--version"}, 0, "tidewell-sim " + kVersion + "\n", ""},
      {{kSim}, 2, "", "usage: tidewell-sim "},
      {{kSim, "--device-dir", "d", "--com", "x"}, 2, "", "usage: tidewell-sim "},
      {{kTool, "--help"}, 0, "usage: tidewell-tool COMMAND", ""},
      {{kTool, "-h"}, 0, "usage: tidewell-tool COMMAND", ""},
      {{kTool, "--version"}, 0, "tidewell-tool " + kVersion + "\n", ""},
      {{kTool}, 2, "", "usage: tidewell-tool COMMAND"},
      {{kTool, "frobnicate"}, 2, "", "usage: tidewell-tool COMMAND"},
      {{kTool, "pack"}, 2, "", "usage: tidewell-tool pack "},
      {{kTool, "inspect"}, 2, "", "usage: tidewell-tool inspect "},
      {{kTool, "onefile", "frob"}, 2, "", "usage: tidewell-tool onefile "},
      {{kTool, "merge", "extra"}, 2, "", "usage: tidewell-tool merge "},
      {{kTool, "doctor", "extra"}, 2, "", "usage: tidewell-tool doctor "},
  };
  for (const char* command : {"pack", "inspect", "onefile", "merge", "doctor"}) {
    for (const char* help : {"--help", "-h"}) {
      cases.push_back({{kTool, command, help}, 0, std::string("usage: tidewell-tool ") + command + " ", ""});
    }
  }
  return cases;
}

std::string Describe(const std::vector<std::string>& args) {
  std::string text = std::filesystem::path(args[0]).filename().string();
  for (std::size_t i = 1; i < args.size(); ++i) {
    text += " " + args[i];
  }
  return text;
}

TEST(ProgramConventions, HelpVersionAndUsageErrors) {
  std::string dir = (std::filesystem::temp_directory_path() / "tidewell-conventions-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string out = dir + "/out";
  const std::string err = dir + "/err";
  for (const Case& c : Cases()) {
    SCOPED_TRACE(Describe(c.args));
    ChildProcess child(c.args, out, err);
    ASSERT_TRUE(child.Started());
    EXPECT_EQ(child.Wait(30), c.status);
    const std::string stdoutText = ReadFile(out);
    const std::string stderrText = ReadFile(err);
    if (c.out.empty()) {
      EXPECT_EQ(stdoutText, "");
    } else {
      EXPECT_EQ(stdoutText.substr(0, c.out.size()), c.out) << stdoutText;
    }
    if (c.err.empty()) {
      EXPECT_EQ(stderrText, "");
    } else {
      EXPECT_NE(stderrText.find(c.err), std::string::npos) << stderrText;
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tw::test
