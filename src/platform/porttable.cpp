#include "platform/porttable.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/dirpath.h"
#include "platform/devicelocation.h"

namespace tw {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) {
      return false;
    }
  }
  return true;
}

void Explain(std::string* why, std::string text) {
  if (why) {
    *why = std::move(text);
  }
}

}  // namespace

std::optional<int> ParsePortName(const std::string& name) {
  std::string_view rest = name;
  // 1. The device-namespace prefix, then "COM".
  if (rest.starts_with("\\\\.\\")) {
    rest.remove_prefix(4);
  }
  if (!StartsWithNoCase(rest, "COM")) {
    return std::nullopt;
  }
  rest.remove_prefix(3);
  // 2. An optional colon at the end.
  if (rest.ends_with(':')) {
    rest.remove_suffix(1);
  }
  // 3. A decimal number without sign or leading zero, in range.
  if (rest.empty() || rest.size() > 4 || rest.front() == '0') {
    return std::nullopt;
  }
  int n = 0;
  for (char c : rest) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    n = n * 10 + (c - '0');
  }
  return n;
}

CPortTable::CPortTable(std::string directory) : m_directory(TrimTrailingSlashes(std::move(directory))) {}

bool CPortTable::Set(int n, const std::string& path) {
  if (n < 1 || n > kMaxPortNumber) {
    return false;
  }
  std::lock_guard guard(m_lock);
  m_paths[n] = path;
  return true;
}

int CPortTable::Assign(const std::string& path) {
  std::lock_guard guard(m_lock);
  int lowestFree = 1;
  for (const auto& [n, known] : m_paths) {
    if (known == path) {
      return n;
    }
    if (n == lowestFree) {
      ++lowestFree;
    }
  }
  if (lowestFree > kMaxPortNumber) {
    return 0;
  }
  m_paths[lowestFree] = path;
  return lowestFree;
}

void CPortTable::Remove(int n) {
  std::lock_guard guard(m_lock);
  m_paths.erase(n);
}

void CPortTable::RemovePath(const std::string& path) {
  std::lock_guard guard(m_lock);
  std::erase_if(m_paths, [&](const auto& entry) { return entry.second == path; });
}

std::optional<std::string> CPortTable::Lookup(int n, std::string* why) const {
  {
    std::lock_guard guard(m_lock);
    if (auto it = m_paths.find(n); it != m_paths.end()) {
      return it->second;
    }
  }
  if (!m_directory.empty() && n >= 1 && n <= kMaxPortNumber) {
    return DirectoryEntry(n, why);
  }
  Explain(why, "COM" + std::to_string(n) + ": no such serial port");
  return std::nullopt;
}

std::optional<std::string> CPortTable::Resolve(const std::string& name, std::string* why) const {
  std::optional<int> n = ParsePortName(name);
  if (!n) {
    Explain(why, name + ": not a known serial port (COMn, COMn: or \\\\.\\COMn)");
    return std::nullopt;
  }
  return Lookup(*n, why);
}

std::optional<std::string> CPortTable::DirectoryEntry(int n, std::string* why) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(m_directory, ec); !ec && it != std::filesystem::end(it);
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (ParsePortName(SplitLocatedName(name).name) == n) {
      names.push_back(std::move(name));
    }
  }
  if (names.empty()) {
    return JoinPath(m_directory, "COM" + std::to_string(n));
  }
  if (names.size() == 1) {
    return JoinPath(m_directory, names.front());
  }
  // Two handsets with one number: opening either could write the wrong one.
  std::sort(names.begin(), names.end());
  std::string list;
  for (const std::string& name : names) {
    list += (list.empty() ? "" : ", ") + name;
  }
  Explain(why, "COM" + std::to_string(n) + ": several entries of " + m_directory + " name this port (" +
                   list + "); give each handset its own COM number");
  return std::nullopt;
}

}  // namespace tw
