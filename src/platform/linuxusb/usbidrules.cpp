#include "platform/linuxusb/usbidrules.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tw {

namespace {

const char kDefaultRules[] =
#include "usbidsdefault.inc"
    ;

// Reads a number of the given base that must fit in [0, max]; the whole text must be used.
bool ParseNumber(const std::string& text, int base, long max, long* out) {
  std::string digits = text;
  if (base == 16 && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
  }
  if (digits.empty() || digits.size() > 8) {
    return false;
  }
  char* end = nullptr;
  long value = std::strtol(digits.c_str(), &end, base);
  if (*end != '\0' || digits[0] == '-' || digits[0] == '+' || value < 0 || value > max) {
    return false;
  }
  *out = value;
  return true;
}

// Parses the "key=value" fields of one rule; returns the reason on failure.
std::string ParseFields(std::istringstream& fields, UsbMatchRule* rule) {
  bool haveVid = false;
  bool havePid = false;
  std::string field;
  while (fields >> field) {
    auto eq = field.find('=');
    if (eq == std::string::npos) {
      return "expected key=value, found '" + field + "'";
    }
    std::string key = field.substr(0, eq);
    std::string value = field.substr(eq + 1);
    long number = 0;
    if (key == "vid" || key == "pid") {
      if (!ParseNumber(value, 16, 0xFFFF, &number)) {
        return "bad " + key + " '" + value + "' (a hexadecimal number up to 0xffff)";
      }
      (key == "vid" ? rule->vid : rule->pid) = static_cast<std::uint16_t>(number);
      (key == "vid" ? haveVid : havePid) = true;
    } else if (key == "interface" && rule->use == UsbMatchRule::Use::Download) {
      if (!ParseNumber(value, 10, 255, &number)) {
        return "bad interface '" + value + "' (a decimal number up to 255)";
      }
      rule->interfaceNumber = static_cast<int>(number);
    } else {
      return "unknown key '" + key + "'";
    }
  }
  if (!haveVid || !havePid) {
    return "a rule needs both vid= and pid=";
  }
  return {};
}

}  // namespace

std::optional<CUsbIdRules> CUsbIdRules::Parse(const std::string& text, const std::string& origin,
                                              std::string* error) {
  std::vector<UsbMatchRule> rules;
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    line = line.substr(0, line.find('#'));
    std::istringstream fields(line);
    std::string keyword;
    if (!(fields >> keyword)) {
      continue;  // blank or comment only
    }
    UsbMatchRule rule;
    std::string reason;
    if (keyword == "match" || keyword == "modem") {
      rule.use = keyword == "match" ? UsbMatchRule::Use::Download : UsbMatchRule::Use::Modem;
      reason = ParseFields(fields, &rule);
    } else {
      reason = "unknown rule '" + keyword + "' (expected match or modem)";
    }
    if (!reason.empty()) {
      if (error) {
        *error = origin + ":" + std::to_string(lineNumber) + ": " + reason;
      }
      return std::nullopt;
    }
    rules.push_back(rule);
  }
  return CUsbIdRules(std::move(rules));
}

std::optional<CUsbIdRules> CUsbIdRules::LoadFile(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) {
      *error = "cannot read the USB id rules file " + path;
    }
    return std::nullopt;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return Parse(text.str(), path, error);
}

CUsbIdRules CUsbIdRules::Default() {
  std::string ignored;
  auto rules = Parse(kDefaultRules, "usb-ids.conf", &ignored);
  return rules ? *rules : CUsbIdRules();
}

const char* CUsbIdRules::SystemPath() {
  return TIDEWELL_SYSTEM_USB_IDS;
}

UsbIdsOrigin CUsbIdRules::Locate(const std::string& systemPath) {
  const char* path = std::getenv("TIDEWELL_USB_IDS");
  if (path && *path) {
    return {UsbIdsOrigin::Kind::Environment, path};
  }
  std::error_code ignored;
  if (std::filesystem::exists(systemPath, ignored)) {
    return {UsbIdsOrigin::Kind::SystemFile, systemPath};
  }
  return {UsbIdsOrigin::Kind::BuiltIn, systemPath};
}

std::optional<CUsbIdRules> CUsbIdRules::Load(const UsbIdsOrigin& origin, std::string* error) {
  if (origin.kind == UsbIdsOrigin::Kind::BuiltIn) {
    return Default();
  }
  return LoadFile(origin.path, error);
}

std::optional<CUsbIdRules> CUsbIdRules::FromEnvironment(std::string* error) {
  return Load(Locate(), error);
}

std::optional<UsbMatchRule> CUsbIdRules::DownloadRule(std::uint16_t vid, std::uint16_t pid) const {
  for (const auto& rule : m_rules) {
    if (rule.use == UsbMatchRule::Use::Download && rule.vid == vid && rule.pid == pid) {
      return rule;
    }
  }
  return std::nullopt;
}

bool CUsbIdRules::HasPlaceholder() const {
  for (const auto& rule : m_rules) {
    if (rule.vid == kPlaceholderVid) {
      return true;
    }
  }
  return false;
}

bool CUsbIdRules::MatchesDevice(std::uint16_t vid, std::uint16_t pid) const {
  for (const auto& rule : m_rules) {
    if (rule.vid == vid && rule.pid == pid) {
      return true;
    }
  }
  return false;
}

}  // namespace tw
