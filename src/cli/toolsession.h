// The developer tools on the command line: a firmware set of their own, the
// message boxes kept as lines, and the file-open dialog answered with the
// path of an argument.
#pragma once
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/tool_args.h"
#include "firmware/imageset.h"
#include "tools/devtools.h"
#include "tools/toolpath.h"

namespace tw {

class CToolSession {
 public:
  CToolSession() {
    m_Tools.SetCallbacks(ToolCallbacks{[this](const std::string& text) { m_Messages.push_back(text); },
                                       [this](const std::string&, DWORD) { return m_Chosen; }});
    m_Images.m_PhoneFile.SetMessageSink([this](const std::string& text) { m_Messages.push_back(text); });
  }

  // The path the next file-open dialog answers with.
  void Choose(const std::string& path) { m_Chosen = path; }
  // Writes the kept messages to out, one a line, and forgets them.
  void PrintMessages(std::FILE* out) {
    for (const std::string& text : m_Messages) {
      std::fprintf(out, "%s\n", text.c_str());
    }
    m_Messages.clear();
  }

  CImageSet m_Images;
  CDevTools m_Tools{m_Images};

 private:
  std::vector<std::string> m_Messages;
  std::optional<std::string> m_Chosen;
};

// The INI file a subcommand reads: --ini FILE, or iniName in the current
// directory. nullopt, after a line on stderr, when there is no such file.
inline std::optional<std::string> ToolIniFile(const ParsedArgs& parsed, const char* iniName,
                                              const char* command) {
  const std::string* given = parsed.Find("--ini");
  const std::string ini = given ? *given : IniPathInCurrentDir(iniName);
  std::error_code error;
  if (!std::filesystem::is_regular_file(ini, error)) {
    std::fprintf(stderr, "tidewell-tool %s: no INI file %s\n", command, ini.c_str());
    return std::nullopt;
  }
  return ini;
}

}  // namespace tw
