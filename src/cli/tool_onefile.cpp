// tidewell-tool onefile: makes a one-file image as an INI file describes it,
// or opens one and extracts its parts into the current directory.
#include <cstdio>
#include <string>

#include "cli/tool_args.h"
#include "cli/tool_commands.h"
#include "cli/toolsession.h"
#include "tools/ini.h"
#include "tools/onefilewriter.h"

namespace tw {

namespace {

int Usage(const std::string& reason) {
  return ToolUsageError("onefile", reason, kOneFileUsage);
}

int Make(const ParsedArgs& parsed) {
  // 1. The INI file: --ini, or OneImgMergy.ini of the current directory.
  const std::optional<std::string> ini = ToolIniFile(parsed, kOneFileIniName, "onefile");
  if (!ini) {
    return 1;
  }
  // 2. The image as the INI describes it.
  CToolSession session;
  session.m_Tools.ReadOneFileIni(CIniProfile(*ini));
  int code = session.m_Tools.MakeOneFileImage();
  session.PrintMessages(code == 0 ? stdout : stderr);
  if (code != 0) {
    std::fprintf(stderr, "tidewell-tool onefile: %s\n", OneFileMakeError(code).c_str());
    return 1;
  }
  return 0;
}

int Open(const std::string& image) {
  CToolSession session;
  session.Choose(image);
  int code = session.m_Tools.OpenOneFileImage();
  session.PrintMessages(stderr);
  if (code != 0) {
    std::fprintf(stderr, "tidewell-tool onefile: %s: %s (%d)\n", image.c_str(),
                 OneFileLoadError(code).c_str(), code);
    return 1;
  }
  // The parts as they now stand in the current directory.
  const ImageTable& table = session.m_Images.m_ImageTable;
  const DWORD sizes[kPartCount] = {table.dwEbootSize, table.dwPdaSize, table.dwPhoneSize};
  const char* kinds[kPartCount] = {"EBOOT", "PDA", "PHONE"};
  for (int part = 0; part < kPartCount; ++part) {
    const std::string& text = session.m_Tools.m_strImageDesc[part];
    std::string name = text.substr(text.find("\r\n") + 2);
    name.resize(name.size() - 2);
    std::printf("%-6s %s: %u bytes\n", kinds[part], name.c_str(), sizes[part]);
  }
  return 0;
}

}  // namespace

int RunOneFile(const ToolArgs& args) {
  const ParsedArgs parsed = ParseToolArgs(args, {"--ini"});
  if (!parsed.error.empty()) {
    return Usage(parsed.error);
  }
  const std::vector<std::string>& words = parsed.positional;
  if (words.size() == 1 && words[0] == "make") {
    return Make(parsed);
  }
  if (words.size() == 2 && words[0] == "open" && !parsed.Find("--ini")) {
    return Open(words[1]);
  }
  return Usage("give make [--ini FILE], or open IMAGE");
}

}  // namespace tw
