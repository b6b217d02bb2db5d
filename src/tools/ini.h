// The profile reader of the developer tools: one INI file, read again at
// every call, with the rules the tools' INI files were written for.
//   - Lines are "[SECTION]" headers, "KEY=VALUE" entries, or comments that
//     begin with ';'. Blank lines and lines before the first header are
//     passed over.
//   - Section and key names match without regard to case. White space
//     around names and values is trimmed; a value enclosed in one pair of
//     matching quotes ('"' or '\'') loses them.
//   - The first section of a name is the one searched, and its first entry
//     of a key the one taken.
//   - A string is at most 254 characters; a longer value is cut.
//   - An integer is read from the value as decimal: an optional sign, then
//     digits up to the first other character ("12abc" is 12, "abc" is 0),
//     in 32 bits with wrap-around.
//   - A missing file, section or key gives the default: "" for a string, 0
//     for an integer; so does an integer entry with an empty value.
#pragma once
#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

class CIniProfile {
 public:
  // The most characters a string read returns (a 255-character buffer).
  static constexpr std::size_t kMaxValueChars = 254;

  explicit CIniProfile(std::string path) : m_strPath(std::move(path)) {}

  // The value of key in section, or "" when the file, section or key is
  // missing. Key first, section second.
  std::string GetString(const std::string& key, const std::string& section) const;
  // The value of key in section read as an integer, or 0.
  int GetInt(const std::string& key, const std::string& section) const;

  const std::string& GetPath() const { return m_strPath; }

  // The rules above on any text: the value of key in section, if present.
  static std::optional<std::string> FindValue(std::istream& text, std::string_view key,
                                              std::string_view section);
  // An integer as a value is read; nullopt for an empty value.
  static std::optional<int> ParseInt(std::string_view value);

 private:
  std::optional<std::string> Lookup(const std::string& key, const std::string& section) const;

  std::string m_strPath;
};

}  // namespace tw
