// tidewell-tool doctor where its checks do not apply: they read udev, sysfs
// and /proc, which only Linux has.
#include <cstdio>

#include "cli/tool_commands.h"

namespace tw {

int RunDoctor(const ToolArgs&) {
  std::fprintf(stderr,
               "tidewell-tool doctor: the set-up checks are for Linux (udev rules, device nodes, "
               "ModemManager); here, Device Manager shows the handset and its drivers\n");
  return 1;
}

}  // namespace tw
