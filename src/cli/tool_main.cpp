// tidewell-tool: makes and checks packed upgraders; the developer tools.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/tool_commands.h"
#include "tidewellversion.h"

namespace {

struct Subcommand {
  const char* name;
  const char* summary;  // one line of the program's usage
  const char* usage;    // the subcommand's own usage
  int (*run)(const tw::ToolArgs& args);
};

constexpr Subcommand kSubcommands[] = {
    {"pack", "make a packed upgrader: tidewell with a firmware set appended", tw::kPackUsage, tw::RunPack},
    {"inspect", "print a package's header and check its layout", tw::kInspectUsage, tw::RunInspect},
    {"onefile", "make a one-file image, or extract one's parts", tw::kOneFileUsage, tw::RunOneFile},
    {"merge", "merge images into one flash image as an INI file describes", tw::kMergeUsage, tw::RunMerge},
    {"doctor", "find set-up faults: ids, udev rules, permissions, ModemManager, ports in use",
     tw::kDoctorUsage, tw::RunDoctor},
};

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: tidewell-tool COMMAND [ARGUMENTS]\n"
               "       tidewell-tool --help | --version\n"
               "commands:\n");
  for (const Subcommand& sub : kSubcommands) {
    std::fprintf(out, "  %-9s %s\n", sub.name, sub.summary);
  }
  std::fprintf(out,
               "'tidewell-tool COMMAND --help' shows a command's usage.\n"
               "Exit status: 0 success, 1 failure, 2 usage error.\n");
}

bool IsHelp(const char* arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  if (IsHelp(argv[1])) {
    PrintUsage(stdout);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("tidewell-tool %s\n", TIDEWELL_VERSION);
    return 0;
  }
  for (const Subcommand& sub : kSubcommands) {
    if (std::strcmp(argv[1], sub.name) != 0) {
      continue;
    }
    for (int i = 2; i < argc; ++i) {
      if (IsHelp(argv[i])) {
        std::fputs(sub.usage, stdout);
        return 0;
      }
    }
    return sub.run(tw::ToolArgs(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "tidewell-tool: unknown command %s\n", argv[1]);
  PrintUsage(stderr);
  return 2;
}
