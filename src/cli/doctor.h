// tidewell-tool doctor: the usual set-up faults that keep a real handset from
// being found or opened, each judged with a one-line verdict and, for a
// fault, the command that mends it.
#pragma once
#include <string>
#include <vector>

#include "platform/linuxusb/udevrulesfiles.h"
#include "platform/linuxusb/usbidrules.h"
#include "platform/nodeaccess.h"

namespace tw {

struct DoctorCheck {
  enum class Verdict { Ok, Note, Fail };
  std::string check;  // what was checked: "ids", "udev rules", "handset", ...
  Verdict verdict = Verdict::Ok;
  std::string text;  // the verdict's line
  std::string fix;   // for a fault: the command that mends it
};

// What the checks look at; tests put their own in place of the system's.
struct DoctorSettings {
  std::string systemIdsPath = CUsbIdRules::SystemPath();
  std::vector<std::string> udevRulesDirs = UdevRulesDirs();
  UserIdentity user = InvokingUser();
  std::string procRoot = "/proc";
};

// Every check, in order: the ids, the udev rules, the handsets with their
// interface's driver, node access and holders, the serial ports with their
// COM numbers, access and holders, and ModemManager.
std::vector<DoctorCheck> DiagnoseSetup(const DoctorSettings& settings);

// tidewell-tool doctor [--json] with the given settings: the verdicts on
// stdout; 0 when nothing is wrong, 1 with findings, 2 for a usage error.
int RunDoctor(const std::vector<std::string>& args, const DoctorSettings& settings);

// "ok", "note" or "FAIL".
const char* VerdictWord(DoctorCheck::Verdict verdict);

}  // namespace tw
