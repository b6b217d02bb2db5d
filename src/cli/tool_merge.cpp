// tidewell-tool merge: one flash image out of the files that a merge INI
// file places at their addresses.
#include <cstdio>
#include <string>

#include "cli/tool_args.h"
#include "cli/tool_commands.h"
#include "cli/toolsession.h"
#include "tools/ini.h"
#include "tools/merge.h"

namespace tw {

int RunMerge(const ToolArgs& args) {
  // 1. The INI file: --ini, or Vellumark.ini of the current directory.
  const ParsedArgs parsed = ParseToolArgs(args, {"--ini"});
  if (!parsed.error.empty() || !parsed.positional.empty()) {
    return ToolUsageError("merge", parsed.error.empty() ? "no arguments besides --ini" : parsed.error,
                          kMergeUsage);
  }
  const std::optional<std::string> ini = ToolIniFile(parsed, kMergeIniName, "merge");
  if (!ini) {
    return 1;
  }
  // 2. The set, refused with its reason when it does not fit; 3. the merge.
  CToolSession session;
  MergeSet& set = session.m_Tools.m_MergeSets[0];
  session.m_Tools.ReadMergeIni(CIniProfile(*ini), set);
  if (!set.strRefused.empty()) {
    session.PrintMessages(stderr);
    return 1;
  }
  int result = session.m_Tools.MergeImages();
  session.PrintMessages(result == kMergeOk ? stdout : stderr);
  return result == kMergeOk ? 0 : 1;
}

}  // namespace tw
