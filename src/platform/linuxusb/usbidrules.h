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

class CUsbIdRules {
 public:
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
  // The file named by TIDEWELL_USB_IDS, else the built-in default.
  static std::optional<CUsbIdRules> FromEnvironment(std::string* error);

  const std::vector<UsbMatchRule>& Rules() const { return m_rules; }

  // The download rule of a device, if any names it.
  std::optional<UsbMatchRule> DownloadRule(std::uint16_t vid, std::uint16_t pid) const;
  // Whether any rule, of either use, names the device.
  bool MatchesDevice(std::uint16_t vid, std::uint16_t pid) const;

 private:
  std::vector<UsbMatchRule> m_rules;
};

}  // namespace tw
