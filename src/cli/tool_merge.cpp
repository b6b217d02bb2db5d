// tidewell-tool merge: one flash image out of the files that a merge INI
// file places at their addresses.
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/tool_args.h"
#include "cli/tool_commands.h"
#include "cli/toolsession.h"
#include "tools/ini.h"
#include "tools/merge.h"
#include "tools/toolpath.h"

namespace tw {

int RunMerge(const ToolArgs& args) {
  // 1. The INI file: --ini, or Vellumark.ini of the current directory.
  const ParsedArgs parsed = ParseToolArgs(args, {"--ini"});
  if (!parsed.error.empty() || !parsed.positional.empty()) {
    std::fprintf(stderr, "tidewell-tool merge: %s\nusage: tidewell-tool merge [--ini FILE]\n",
                 parsed.error.empty() ? "no arguments besides --ini" : parsed.error.c_str());
    return 2;
  }
  const std::string* given = parsed.Find("--ini");
  const std::string ini = given ? *given : IniPathInCurrentDir(kMergeIniName);
  std::error_code error;
  if (!std::filesystem::is_regular_file(ini, error)) {
    std::fprintf(stderr, "tidewell-tool merge: no INI file %s\n", ini.c_str());
    return 1;
  }
  // 2. The set, refused with its reason when it does not fit; 3. the merge.
  CToolSession session;
  MergeSet& set = session.m_Tools.m_MergeSets[0];
  session.m_Tools.ReadMergeIni(CIniProfile(ini), set);
  if (!set.strRefused.empty()) {
    session.PrintMessages(stderr);
    return 1;
  }
  int result = session.m_Tools.MergeImages();
  session.PrintMessages(result == kMergeOk ? stdout : stderr);
  return result == kMergeOk ? 0 : 1;
}

}  // namespace tw
