// tidewell-tool doctor: the set-up checks as readable lines, or as one JSON
// object with --json.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/doctor.h"
#include "cli/tool_args.h"
#include "cli/tool_commands.h"

namespace tw {

namespace {

int Findings(const std::vector<DoctorCheck>& checks) {
  int findings = 0;
  for (const DoctorCheck& check : checks) {
    findings += check.verdict == DoctorCheck::Verdict::Fail ? 1 : 0;
  }
  return findings;
}

void PrintText(const std::vector<DoctorCheck>& checks, int findings) {
  for (const DoctorCheck& check : checks) {
    std::printf("%-5s %s: %s\n", VerdictWord(check.verdict), check.check.c_str(), check.text.c_str());
    if (!check.fix.empty()) {
      std::printf("      fix: %s\n", check.fix.c_str());
    }
  }
  if (findings == 0) {
    std::printf("nothing wrong found\n");
  } else {
    std::printf("%d finding%s\n", findings, findings == 1 ? "" : "s");
  }
}

void PrintJson(const std::vector<DoctorCheck>& checks, int findings) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const DoctorCheck& check : checks) {
    nlohmann::ordered_json item = {
        {"check", check.check}, {"verdict", VerdictWord(check.verdict)}, {"text", check.text}};
    if (!check.fix.empty()) {
      item["fix"] = check.fix;
    }
    list.push_back(item);
  }
  const nlohmann::ordered_json report = {{"checks", list}, {"findings", findings}};
  std::printf("%s\n", report.dump(2).c_str());
}

}  // namespace

int RunDoctor(const ToolArgs& args, const DoctorSettings& settings) {
  bool json = false;
  for (const std::string& arg : args) {
    if (arg != "--json" || json) {
      return ToolUsageError(
          "doctor", arg == "--json" ? "--json is given twice" : "unexpected argument " + arg, kDoctorUsage);
    }
    json = true;
  }
  const std::vector<DoctorCheck> checks = DiagnoseSetup(settings);
  const int findings = Findings(checks);
  if (json) {
    PrintJson(checks, findings);
  } else {
    PrintText(checks, findings);
  }
  return findings == 0 ? 0 : 1;
}

int RunDoctor(const ToolArgs& args) {
  return RunDoctor(args, DoctorSettings());
}

}  // namespace tw
