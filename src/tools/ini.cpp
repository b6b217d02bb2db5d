#include "tools/ini.h"

#include <cstdint>
#include <fstream>

namespace tw {

namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return {};
  }
  std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) {
      return false;
    }
  }
  return true;
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The section name of a "[NAME]" line (up to ']' or the end of the line).
std::string_view SectionName(std::string_view line) {
  std::string_view inner = line.substr(1);
  return Trim(inner.substr(0, inner.find(']')));
}

}  // namespace

std::optional<std::string> CIniProfile::FindValue(std::istream& text, std::string_view key,
                                                  std::string_view section) {
  std::string raw;
  bool bFirstLine = true;
  bool bInSection = false;
  bool bSectionSeen = false;
  while (std::getline(text, raw)) {
    std::string_view line = raw;
    if (bFirstLine && line.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
      line.remove_prefix(kUtf8Bom.size());
    }
    bFirstLine = false;
    line = Trim(line);
    if (line.empty() || line.front() == ';') {
      continue;
    }
    if (line.front() == '[') {
      if (bInSection) {
        return std::nullopt;  // only the first section of the name counts
      }
      bInSection = !bSectionSeen && SameName(SectionName(line), section);
      bSectionSeen = bSectionSeen || bInSection;
      continue;
    }
    if (!bInSection) {
      continue;
    }
    std::size_t equals = line.find('=');
    std::string_view name = Trim(line.substr(0, equals));
    if (!SameName(name, key)) {
      continue;
    }
    std::string_view value = equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
    value = StripQuotes(Trim(value));
    return std::string(value.substr(0, kMaxValueChars));
  }
  return std::nullopt;
}

std::optional<int> CIniProfile::ParseInt(std::string_view value) {
  value = Trim(value);
  if (value.empty()) {
    return std::nullopt;
  }
  bool bNegative = false;
  if (value.front() == '+' || value.front() == '-') {
    bNegative = value.front() == '-';
    value.remove_prefix(1);
  }
  std::uint32_t number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') {
      break;
    }
    number = number * 10u + static_cast<std::uint32_t>(c - '0');
  }
  if (bNegative) {
    number = 0u - number;
  }
  return static_cast<int>(number);
}

std::optional<std::string> CIniProfile::Lookup(const std::string& key, const std::string& section) const {
  std::ifstream file(m_strPath, std::ios::binary);
  if (!file) {
    return std::nullopt;
  }
  return FindValue(file, key, section);
}

std::string CIniProfile::GetString(const std::string& key, const std::string& section) const {
  return Lookup(key, section).value_or(std::string());
}

int CIniProfile::GetInt(const std::string& key, const std::string& section) const {
  std::optional<std::string> value = Lookup(key, section);
  return value ? ParseInt(*value).value_or(0) : 0;
}

}  // namespace tw
