// Which USB devices are the handset: match rules read from a small text file
// (data/usb-ids.conf documents the format). "match" rules name the PDA
// download interface; "modem" rules name a device whose serial port is the
// modem's download port.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw {

struct UsbMatchRule {
  enum class Use { Download, Modem };
  Use use = Use::Download;
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  int interfaceNumber = 0;  // bInterfaceNumber of the download interface

  friend bool operator==(const UsbMatchRule&, const UsbMatchRule&) = default;
};

// Where the rules come from: the file named by TIDEWELL_USB_IDS, else the
// installed file (/etc/tidewell/usb-ids.conf) when it exists, else the rules
// built into the program.
struct UsbIdsOrigin {
  enum class Kind { Environment, SystemFile, BuiltIn };
  Kind kind = Kind::BuiltIn;
  std::string path;  // the file read; for BuiltIn, the installed file that is not there
};

class CUsbIdRules {
 public:
  // The vendor id of the shipped placeholder rules, which no real vendor has.
  static constexpr std::uint16_t kPlaceholderVid = 0xFFFF;

  CUsbIdRules() = default;
  explicit CUsbIdRules(std::vector<UsbMatchRule> rules) : m_rules(std::move(rules)) {}

  // Parses the text of a rules file. On a bad line returns nothing, with
  // "<origin>:<line>: <reason>" in *error.
  static std::optional<CUsbIdRules> Parse(const std::string& text, const std::string& origin,
                                          std::string* error);
  // Reads and parses one file.
  static std::optional<CUsbIdRules> LoadFile(const std::string& path, std::string* error);
  // The rules shipped with the program (data/usb-ids.conf, built in).
  static CUsbIdRules Default();
  // The installed ids file this program was built for.
  static const char* SystemPath();
  // Where the rules would be read from (systemPath: the installed file).
  static UsbIdsOrigin Locate(const std::string& systemPath = SystemPath());
  // The rules of an origin; nothing, with the reason, when its file cannot be
  // read or has a bad line.
  static std::optional<CUsbIdRules> Load(const UsbIdsOrigin& origin, std::string* error);
  // Load(Locate()).
  static std::optional<CUsbIdRules> FromEnvironment(std::string* error);

  const std::vector<UsbMatchRule>& Rules() const { return m_rules; }

  // The download rule of a device, if any names it.
  std::optional<UsbMatchRule> DownloadRule(std::uint16_t vid, std::uint16_t pid) const;
  // Whether any rule, of either use, names the device.
  bool MatchesDevice(std::uint16_t vid, std::uint16_t pid) const;
  // Whether a rule still has the placeholder vendor id.
  bool HasPlaceholder() const;

 private:
  std::vector<UsbMatchRule> m_rules;
};

}  // namespace tw
