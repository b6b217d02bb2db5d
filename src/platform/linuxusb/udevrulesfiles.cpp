#include "platform/linuxusb/udevrulesfiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

namespace tw {

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool NamesIds(const std::string& line, const std::string& vendor, const std::string& product) {
  const std::string lower = Lower(line);
  const std::size_t hash = lower.find_first_not_of(" \t");
  if (hash != std::string::npos && lower[hash] == '#') {
    return false;
  }
  return lower.find("{idvendor}==\"" + vendor + "\"") != std::string::npos &&
         lower.find("{idproduct}==\"" + product + "\"") != std::string::npos;
}

}  // namespace

std::vector<std::string> UdevRulesDirs() {
  return {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d", "/usr/lib/udev/rules.d",
          "/lib/udev/rules.d"};
}

std::string UdevRulesNaming(std::uint16_t vid, std::uint16_t pid, const std::vector<std::string>& dirs) {
  // 1. The files udev reads, by name.
  std::map<std::string, fs::path> files;
  for (const std::string& dir : dirs) {
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
      if (it->path().extension() == ".rules") {
        files.try_emplace(it->path().filename().string(), it->path());
      }
    }
  }
  // 2. The first with a line naming both ids.
  char vendor[8];
  char product[8];
  std::snprintf(vendor, sizeof vendor, "%04x", vid);
  std::snprintf(product, sizeof product, "%04x", pid);
  for (const auto& [name, path] : files) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
      if (NamesIds(line, vendor, product)) {
        return path.string();
      }
    }
  }
  return "";
}

}  // namespace tw
