// Option parsing shared by the subcommands of tidewell-tool: "--name VALUE"
// pairs (and "-o VALUE") plus positional arguments.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tw {

struct ParsedArgs {
  std::map<std::string, std::string> options;  // name (with dashes) -> value
  std::vector<std::string> positional;
  std::string error;  // empty when the arguments parsed

  const std::string* Find(const std::string& name) const;
};

// Every option in valueOptions takes one value; any other argument that
// begins with '-' is an error.
ParsedArgs ParseToolArgs(const std::vector<std::string>& args, const std::set<std::string>& valueOptions);

// Prints "tidewell-tool COMMAND: REASON" and the usage text on stderr;
// returns the usage-error exit status, 2.
int ToolUsageError(const char* command, const std::string& reason, const char* usage);

// A decimal (or 0x hexadecimal) number that fits 32 bits.
std::optional<std::uint32_t> ParseU32(const std::string& text);

}  // namespace tw
