#include "tools/toolmessages.h"

#include <cstdio>

namespace tw {

ToolCallbacks StderrToolCallbacks() {
  ToolCallbacks callbacks;
  callbacks.messageBox = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
  callbacks.openFileName = [](const std::string&, DWORD) { return std::optional<std::string>(); };
  return callbacks;
}

}  // namespace tw
