#include "cli/tool_args.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tw {

const std::string* ParsedArgs::Find(const std::string& name) const {
  auto it = options.find(name);
  return it == options.end() ? nullptr : &it->second;
}

ParsedArgs ParseToolArgs(const std::vector<std::string>& args, const std::set<std::string>& valueOptions) {
  ParsedArgs parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      parsed.positional.push_back(arg);
    } else if (!valueOptions.count(arg)) {
      parsed.error = "unknown option " + arg;
    } else if (i + 1 == args.size()) {
      parsed.error = arg + " needs a value";
    } else if (parsed.options.count(arg)) {
      parsed.error = arg + " is given twice";
    } else {
      parsed.options[arg] = args[++i];
    }
    if (!parsed.error.empty()) {
      break;
    }
  }
  return parsed;
}

int ToolUsageError(const char* command, const std::string& reason, const char* usage) {
  std::fprintf(stderr, "tidewell-tool %s: %s\n%s", command, reason.c_str(), usage);
  return 2;
}

std::optional<std::uint32_t> ParseU32(const std::string& text) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
    return std::nullopt;
  }
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFull) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace tw
