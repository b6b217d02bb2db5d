// The subcommands of tidewell-tool. Each takes the arguments after its name
// and returns the exit status: 0 success, 1 failure, 2 usage error.
#pragma once
#include <string>
#include <vector>

namespace tw {

using ToolArgs = std::vector<std::string>;

// The usage text of each subcommand: `tidewell-tool NAME --help` prints it on
// stdout, a usage error on stderr.
inline constexpr const char* kPackUsage =
    "usage: tidewell-tool pack [--eboot FILE] --pda FILE --phone FILE [--full-set 0|1] [--extra-cmd N]\n"
    "                          [--upgrader EXE] -o OUT\n";
inline constexpr const char* kInspectUsage = "usage: tidewell-tool inspect FILE\n";
inline constexpr const char* kOneFileUsage =
    "usage: tidewell-tool onefile make [--ini FILE]\n"
    "       tidewell-tool onefile open IMAGE\n";
inline constexpr const char* kMergeUsage = "usage: tidewell-tool merge [--ini FILE]\n";
inline constexpr const char* kDoctorUsage = "usage: tidewell-tool doctor [--json]\n";

// pack --eboot FILE --pda FILE --phone FILE [--full-set 0|1] [--extra-cmd N]
//      [--upgrader EXE] -o OUT
int RunPack(const ToolArgs& args);
// inspect FILE: 0 sound, 1 not sound
int RunInspect(const ToolArgs& args);
// onefile make [--ini FILE] | onefile open IMAGE: 0 success, 1 failure
int RunOneFile(const ToolArgs& args);
// merge [--ini FILE]: 0 success, 1 failure
int RunMerge(const ToolArgs& args);
// doctor [--json]: 0 nothing wrong, 1 findings
int RunDoctor(const ToolArgs& args);

}  // namespace tw
