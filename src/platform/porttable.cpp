#include "platform/porttable.h"

#include <cctype>
#include <string_view>
#include <utility>

#include "platform/dirpath.h"

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

std::optional<std::string> CPortTable::Lookup(int n) const {
  std::lock_guard guard(m_lock);
  if (auto it = m_paths.find(n); it != m_paths.end()) {
    return it->second;
  }
  if (!m_directory.empty() && n >= 1 && n <= kMaxPortNumber) {
    return JoinPath(m_directory, "COM" + std::to_string(n));
  }
  return std::nullopt;
}

std::optional<std::string> CPortTable::Resolve(const std::string& name) const {
  std::optional<int> n = ParsePortName(name);
  if (!n) {
    return std::nullopt;
  }
  return Lookup(*n);
}

}  // namespace tw
