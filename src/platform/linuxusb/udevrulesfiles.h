// The udev rules files on this system, and which of them names a USB device
// by its ids, as the shipped 70-tidewell.rules does.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

// Where udev reads rules from, the first hiding a same-named file of a later one.
std::vector<std::string> UdevRulesDirs();

// The first rules file udev reads (in udev's order: by file name, the first
// directory's file of a name) with a rule that names vid and pid
// (idVendor=="vvvv" and idProduct=="pppp" on one line); "" when none does.
std::string UdevRulesNaming(std::uint16_t vid, std::uint16_t pid, const std::vector<std::string>& dirs);

}  // namespace tw
