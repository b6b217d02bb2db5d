#include "cli/doctor.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>

#include "platform/linuxusb/usbsurvey.h"
#include "platform/processes.h"
#include "platform/ttydevice.h"

namespace tw {

namespace {

using Verdict = DoctorCheck::Verdict;

constexpr const char* kReloadRules = "sudo udevadm control --reload-rules && sudo udevadm trigger";
constexpr const char* kRulesName = "70-tidewell.rules";
constexpr const char* kModemManager = "ModemManager";

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

std::string Ids(std::uint16_t vid, std::uint16_t pid) {
  return Hex4(vid) + ":" + Hex4(pid);
}

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode);
  return text;
}

class Doctor {
 public:
  explicit Doctor(const DoctorSettings& settings) : m_settings(settings) {}

  std::vector<DoctorCheck> Run() {
    // 1. The ids; without them no device can be told apart.
    const std::optional<CUsbIdRules> rules = CheckIds();
    if (rules) {
      // 2. The udev rules for those ids; 3. what is plugged in now.
      CheckUdevRules(*rules);
      const UsbSurvey survey = SurveyUsb(*rules);
      CheckRulesApplied(survey);
      CheckHandsets(survey);
      CheckPorts(survey);
      // 4. ModemManager, which must leave the ports alone.
      CheckModemManager(survey);
    }
    return std::move(m_checks);
  }

 private:
  void Add(const std::string& check, Verdict verdict, const std::string& text, const std::string& fix = {}) {
    m_checks.push_back({check, verdict, text, verdict == Verdict::Fail ? fix : std::string()});
  }

  std::optional<CUsbIdRules> CheckIds() {
    const UsbIdsOrigin origin = CUsbIdRules::Locate(m_settings.systemIdsPath);
    m_idsName = origin.path;
    std::string where = origin.path;
    std::string edit = "sudoedit " + origin.path;
    if (origin.kind == UsbIdsOrigin::Kind::Environment) {
      where += " (TIDEWELL_USB_IDS)";
      edit = "editor " + origin.path;
    } else if (origin.kind == UsbIdsOrigin::Kind::BuiltIn) {
      m_idsName = "the built-in ids";
      where = m_idsName + " (no " + origin.path + ")";
      const std::string dir = std::filesystem::path(origin.path).parent_path().string();
      edit = "sudo mkdir -p " + dir + " && sudoedit " + origin.path;
    }
    std::string error;
    std::optional<CUsbIdRules> rules = CUsbIdRules::Load(origin, &error);
    if (!rules) {
      Add("ids", Verdict::Fail, error, edit);
    } else if (rules->HasPlaceholder()) {
      Add("ids", Verdict::Fail,
          where + ": the placeholder ids (vendor " + Hex4(CUsbIdRules::kPlaceholderVid) +
              "), which match no handset",
          edit + "  # put in the ids lsusb shows for the handset (docs/hardware.md)");
    } else {
      int download = 0;
      for (const UsbMatchRule& rule : rules->Rules()) {
        download += rule.use == UsbMatchRule::Use::Download ? 1 : 0;
      }
      Add("ids", Verdict::Ok,
          where + ": " + std::to_string(download) + " download and " +
              std::to_string(rules->Rules().size() - static_cast<std::size_t>(download)) + " modem rules");
    }
    return rules;
  }

  void CheckUdevRules(const CUsbIdRules& rules) {
    std::set<std::string> files;
    std::vector<std::string> missing;
    std::set<std::pair<std::uint16_t, std::uint16_t>> seen;
    for (const UsbMatchRule& rule : rules.Rules()) {
      if (!seen.insert({rule.vid, rule.pid}).second) {
        continue;
      }
      const std::string file = UdevRulesNaming(rule.vid, rule.pid, m_settings.udevRulesDirs);
      if (file.empty()) {
        missing.push_back(Ids(rule.vid, rule.pid));
      } else {
        files.insert(file);
      }
    }
    m_bRulesInstalled = missing.empty();
    if (m_bRulesInstalled) {
      std::string list;
      for (const std::string& file : files) {
        list += (list.empty() ? "" : ", ") + file;
      }
      Add("udev rules", Verdict::Ok, list + " names the handset's ids");
      return;
    }
    std::string list;
    for (const std::string& ids : missing) {
      list += (list.empty() ? "" : ", ") + ids;
    }
    Add("udev rules", Verdict::Fail, "no udev rules file names " + list, RulesFix());
  }

  // The rules file to put the ids into, and udev told to read it again.
  std::string RulesFix() const {
    const std::string local = m_settings.udevRulesDirs.front() + "/" + kRulesName;
    for (const std::string& dir : m_settings.udevRulesDirs) {
      const std::string shipped = dir + "/" + kRulesName;
      std::error_code error;
      if (std::filesystem::exists(shipped, error)) {
        const std::string copy = shipped == local ? "" : "sudo cp " + shipped + " " + local + " && ";
        return copy + "sudoedit " + local + " && " + kReloadRules + "  # put in the ids of " + m_idsName;
      }
    }
    return "sudo install -m 644 data/" + std::string(kRulesName) + " " + m_settings.udevRulesDirs.front() +
           "/ && " + kReloadRules + "  # from the source tree, with the ids of " + m_idsName;
  }

  // The rules mark every device they name for ModemManager to leave alone;
  // a present device without the mark has not been through them.
  void CheckRulesApplied(const UsbSurvey& survey) {
    if (!m_bRulesInstalled) {
      return;
    }
    if (survey.devices.empty()) {
      Add("udev rules", Verdict::Note, "whether udev applies them shows once the handset is connected");
      return;
    }
    for (const SurveyedDevice& device : survey.devices) {
      if (!device.modemManagerIgnores) {
        Add("udev rules", Verdict::Fail,
            "not applied to the device at " + device.location +
                " (udev gives it no ID_MM_DEVICE_IGNORE): udev has not read them since they were installed",
            std::string(kReloadRules) + "  # then unplug and replug the handset");
        return;
      }
    }
    Add("udev rules", Verdict::Ok, "applied to the connected handset");
  }

  void CheckHandsets(const UsbSurvey& survey) {
    if (survey.devices.empty()) {
      Add("handset", Verdict::Fail, "no USB device with the ids of " + m_idsName + " is connected",
          "lsusb  # connect the handset, switched on in reflashing mode; its ID must be in the ids file");
      return;
    }
    for (const SurveyedDevice& device : survey.devices) {
      const std::string at = "bus " + std::to_string(device.bus) + ", port " + device.location + ", " +
                             Ids(device.vid, device.pid);
      if (!device.downloadRule) {
        Add("handset", Verdict::Ok, at + ", in phone download mode (" + device.devNode + ")");
        continue;
      }
      const int interfaceNumber = device.downloadRule->interfaceNumber;
      Add("handset", Verdict::Ok,
          at + ", download interface " + std::to_string(interfaceNumber) + " (" + device.devNode + ")");
      CheckDriver(device, interfaceNumber);
      CheckAccess("device access", device.devNode, device.devNode);
    }
  }

  void CheckDriver(const SurveyedDevice& device, int interfaceNumber) {
    const std::string which = "interface " + std::to_string(interfaceNumber) + " of " + device.location;
    const std::optional<std::string> driver = InterfaceDriver(device.devNode, interfaceNumber);
    const std::vector<ProcessRef> holders = ProcessesHolding(device.devNode, m_settings.procRoot);
    if (!holders.empty()) {
      Add("in use", Verdict::Fail, device.devNode + " is open in " + DescribeProcesses(holders),
          KillFix(holders));
    } else if (driver && *driver == "usbfs") {
      Add("in use", Verdict::Fail, which + " is claimed by a program this user cannot see",
          "sudo fuser -v " + device.devNode);
    }
    if (!driver) {
      return;  // the node cannot be opened: the access check says so
    }
    if (driver->empty()) {
      Add("kernel driver", Verdict::Ok, "no kernel driver holds " + which);
    } else if (*driver != "usbfs") {
      Add("kernel driver", Verdict::Note,
          *driver + " holds " + which +
              "; tidewell detaches it for the download and attaches it again after");
    }
  }

  void CheckPorts(const UsbSurvey& survey) {
    if (survey.ports.empty()) {
      Add("serial ports", Verdict::Note,
          "none of the handset's (its modem port appears in phone download mode)");
      return;
    }
    for (const SurveyedPort& port : survey.ports) {
      const std::string com = "COM" + std::to_string(port.comNumber);
      const std::string name = port.devNode + " (" + com + ")";
      Add("serial port", Verdict::Ok,
          port.devNode + " of the device at " + port.deviceLocation + " would be " + com);
      const bool mayOpen = CheckAccess("port access", port.devNode, name);
      const std::vector<ProcessRef> holders = ProcessesHolding(port.devNode, m_settings.procRoot);
      std::string error;
      if (!holders.empty()) {
        Add("in use", Verdict::Fail, name + " is held by " + DescribeProcesses(holders), KillFix(holders));
      } else if (mayOpen && !CTtyDevice::TryOpen(port.devNode, &error) && errno == EBUSY) {
        Add("in use", Verdict::Fail, name + " is held by a program this user cannot see",
            "sudo fuser -v " + port.devNode);
      }
    }
  }

  void CheckModemManager(const UsbSurvey& survey) {
    if (ProcessesNamed(kModemManager, m_settings.procRoot).empty()) {
      Add("ModemManager", Verdict::Ok, "not running");
      return;
    }
    for (const SurveyedPort& port : survey.ports) {
      if (!port.modemManagerIgnores) {
        Add("ModemManager", Verdict::Fail,
            std::string("running, and ") + port.devNode +
                " is not marked for it to leave alone (ID_MM_DEVICE_IGNORE); a probe breaks a phone download",
            m_bRulesInstalled ? std::string(kReloadRules) : RulesFix());
        return;
      }
    }
    if (!survey.ports.empty()) {
      Add("ModemManager", Verdict::Ok, "running; the handset's ports are marked for it to leave alone");
    } else if (m_bRulesInstalled) {
      Add("ModemManager", Verdict::Ok, "running; the udev rules mark the handset for it to leave alone");
    } else {
      Add("ModemManager", Verdict::Fail, "running, and no udev rules mark the handset for it to leave alone",
          RulesFix());
    }
  }

  // Whether the user may open a node; a fault names the group to join, or
  // the rules that would give access.
  bool CheckAccess(const std::string& check, const std::string& node, const std::string& name) {
    const UserIdentity& user = m_settings.user;
    const NodeAccess access = CheckNodeAccess(node, user);
    const std::string how = access.owner + ":" + access.group + " " + Octal(access.mode);
    if (!access.exists) {
      Add(check, Verdict::Fail, node + " is missing", std::string(kReloadRules));
      return false;
    }
    if (access.allowed) {
      Add(check, Verdict::Ok,
          "user " + user.name + " may open " + name + " (" + how + (access.byAcl ? ", by ACL" : "") + ")");
      return true;
    }
    std::string fix;
    if ((access.group == "plugdev" || access.group == "dialout") && !InGroup(user, access.group)) {
      fix = "sudo usermod -aG " + access.group + " " + user.name + "  # then log out and in again";
    } else {
      fix = m_bRulesInstalled ? std::string(kReloadRules) + "  # then unplug and replug the handset"
                              : RulesFix();
    }
    Add(check, Verdict::Fail, "user " + user.name + " may not open " + name + " (" + how + ")", fix);
    return false;
  }

  static std::string KillFix(const std::vector<ProcessRef>& holders) {
    std::string pids;
    for (const ProcessRef& holder : holders) {
      pids += " " + std::to_string(holder.pid);
    }
    return "kill" + pids + "  # or end " + holders.front().name + " by its own means";
  }

  const DoctorSettings& m_settings;
  std::vector<DoctorCheck> m_checks;
  std::string m_idsName;  // the ids file, or "the built-in ids"
  bool m_bRulesInstalled = false;
};

}  // namespace

std::vector<DoctorCheck> DiagnoseSetup(const DoctorSettings& settings) {
  return Doctor(settings).Run();
}

const char* VerdictWord(DoctorCheck::Verdict verdict) {
  switch (verdict) {
    case Verdict::Ok:
      return "ok";
    case Verdict::Note:
      return "note";
    case Verdict::Fail:
      break;
  }
  return "FAIL";
}

}  // namespace tw
