// tidewell-tool: makes and checks packed upgraders; the developer tools.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/tool_commands.h"

namespace {

struct Subcommand {
  const char* name;
  int (*run)(const tw::ToolArgs& args);
  const char* usage;
};

constexpr Subcommand kSubcommands[] = {
    {"pack", tw::RunPack,
     "pack [--eboot FILE] --pda FILE --phone FILE [--full-set 0|1] [--extra-cmd N] [--upgrader EXE] -o OUT"},
    {"inspect", tw::RunInspect, "inspect FILE"},
    {"onefile", tw::RunOneFile, "onefile make [--ini FILE] | onefile open IMAGE"},
    {"merge", tw::RunMerge, "merge [--ini FILE]"},
};

int Usage() {
  std::fprintf(stderr, "usage:\n");
  for (const Subcommand& sub : kSubcommands) {
    std::fprintf(stderr, "  tidewell-tool %s\n", sub.usage);
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return Usage();
  }
  for (const Subcommand& sub : kSubcommands) {
    if (std::strcmp(argv[1], sub.name) == 0) {
      return sub.run(tw::ToolArgs(argv + 2, argv + argc));
    }
  }
  if (std::strcmp(argv[1], "--help") != 0 && std::strcmp(argv[1], "-h") != 0) {
    std::fprintf(stderr, "tidewell-tool: unknown command %s\n", argv[1]);
  }
  return Usage();
}
