// tidewell-tool pack: makes a packed upgrader.
#include <cstdio>
#include <string>

#include "cli/tool_args.h"
#include "cli/tool_commands.h"
#include "firmware/packagewriter.h"
#include "platform/ownexecutable.h"

namespace tw {

namespace {

int PackUsage(const std::string& problem) {
  return ToolUsageError("pack", problem, kPackUsage);
}

// The built upgrader next to this program.
std::string DefaultUpgrader() {
  return OwnExecutableDir() + ProgramFileName("tidewell");
}

}  // namespace

int RunPack(const ToolArgs& args) {
  // 1. The options.
  const ParsedArgs parsed =
      ParseToolArgs(args, {"--eboot", "--pda", "--phone", "--full-set", "--extra-cmd", "--upgrader", "-o"});
  if (!parsed.error.empty()) {
    return PackUsage(parsed.error);
  }
  if (!parsed.positional.empty()) {
    return PackUsage("unexpected argument " + parsed.positional.front());
  }
  for (const char* required : {"--pda", "--phone", "-o"}) {
    if (!parsed.Find(required)) {
      return PackUsage(std::string(required) + " is required");
    }
  }
  PackRequest request;
  request.pda = *parsed.Find("--pda");
  request.phone = *parsed.Find("--phone");
  request.output = *parsed.Find("-o");
  request.eboot = parsed.Find("--eboot") ? *parsed.Find("--eboot") : std::string();
  request.upgrader = parsed.Find("--upgrader") ? *parsed.Find("--upgrader") : DefaultUpgrader();
  if (const std::string* fullSet = parsed.Find("--full-set")) {
    if (*fullSet != "0" && *fullSet != "1") {
      return PackUsage("--full-set takes 0 or 1");
    }
    request.phoneFullSet = *fullSet == "1" ? 1 : 0;
  }
  if (const std::string* extraCmd = parsed.Find("--extra-cmd")) {
    const auto value = ParseU32(*extraCmd);
    if (!value) {
      return PackUsage("--extra-cmd takes a number from 0 to 4294967295");
    }
    request.phoneExtraCmd = *value;
  }
  if (request.eboot.empty() && parsed.Find("--eboot")) {
    return PackUsage("--eboot needs a file");
  }
  // 2. The package.
  sImageHeader header;
  std::string error;
  if (!WritePackage(request, &header, &error)) {
    std::fprintf(stderr, "tidewell-tool pack: %s; no package written\n", error.c_str());
    return 1;
  }
  std::printf(
      "packed %s: EBOOT %u bytes at %u, PDA %u bytes at %u, phone %u bytes at %u, full set %u, extra command "
      "%u\n",
      request.output.c_str(), header.dwEbootSize, header.dwEbootOffset, header.dwPdaSize, header.dwPdaOffset,
      header.dwPhoneSize, header.dwPhoneOffset, header.dwPhoneFullSet, header.dwPhoneExtraCmd);
  return 0;
}

}  // namespace tw
