#include "sim/simflash.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace tw::sim {

void SimFlash::Begin(std::vector<std::uint8_t>& image, std::uint32_t size) {
  std::lock_guard guard(m_lock);
  image.assign(size, 0);
}

// Bytes outside the announced size are not stored.
void SimFlash::Write(std::vector<std::uint8_t>& image, std::uint32_t offset, const std::uint8_t* src,
                     std::size_t n) {
  std::lock_guard guard(m_lock);
  if (offset <= image.size() && n <= image.size() - offset) {
    std::copy_n(src, n, image.begin() + offset);
  }
}

void SimFlash::BeginEboot(std::uint32_t size) {
  Begin(m_eboot, size);
}

void SimFlash::WriteEboot(std::uint32_t offset, const std::uint8_t* src, std::size_t n) {
  Write(m_eboot, offset, src, n);
}

void SimFlash::BeginOs(std::uint32_t size) {
  Begin(m_os, size);
}

void SimFlash::WriteOs(std::uint32_t offset, const std::uint8_t* src, std::size_t n) {
  Write(m_os, offset, src, n);
}

void SimFlash::Erase(std::uint32_t start, std::uint32_t length) {
  std::vector<std::uint8_t> blank(length, 0xFF);
  std::lock_guard guard(m_lock);
  Store(start, blank.data(), blank.size());
}

void SimFlash::Program(std::uint32_t address, const std::uint8_t* src, std::size_t n) {
  std::lock_guard guard(m_lock);
  Store(address, src, n);
}

// Keeps the areas disjoint: the new bytes absorb every area they touch.
void SimFlash::Store(std::uint32_t address, const std::uint8_t* src, std::size_t n) {
  if (n == 0) {
    return;
  }
  std::uint64_t begin = address;
  std::uint64_t end = begin + n;
  // Most writes land inside an erased area: write in place.
  auto holder = m_modem.upper_bound(address);
  if (holder != m_modem.begin()) {
    --holder;
    if (end <= holder->first + holder->second.size()) {
      std::copy_n(src, n, holder->second.begin() + (begin - holder->first));
      return;
    }
  }
  std::uint64_t mergedBegin = begin;
  std::uint64_t mergedEnd = end;
  auto first = m_modem.upper_bound(address);
  if (first != m_modem.begin()) {
    auto before = std::prev(first);
    if (before->first + before->second.size() >= begin) {
      first = before;
    }
  }
  auto last = first;
  while (last != m_modem.end() && last->first <= end) {
    mergedBegin = std::min<std::uint64_t>(mergedBegin, last->first);
    mergedEnd = std::max<std::uint64_t>(mergedEnd, last->first + last->second.size());
    ++last;
  }
  std::vector<std::uint8_t> merged(mergedEnd - mergedBegin, 0xFF);
  for (auto it = first; it != last; ++it) {
    std::copy(it->second.begin(), it->second.end(), merged.begin() + (it->first - mergedBegin));
  }
  std::copy_n(src, n, merged.begin() + (begin - mergedBegin));
  m_modem.erase(first, last);
  m_modem.emplace(static_cast<std::uint32_t>(mergedBegin), std::move(merged));
}

std::vector<std::uint8_t> SimFlash::Eboot() const {
  std::lock_guard guard(m_lock);
  return m_eboot;
}

std::vector<std::uint8_t> SimFlash::Os() const {
  std::lock_guard guard(m_lock);
  return m_os;
}

std::vector<std::uint8_t> SimFlash::ReadModem(std::uint32_t address, std::uint32_t n,
                                              std::uint32_t* known) const {
  std::vector<std::uint8_t> out(n, 0xFF);
  std::uint32_t count = 0;
  std::uint64_t begin = address;
  std::uint64_t end = begin + n;
  std::lock_guard guard(m_lock);
  for (const auto& [start, bytes] : m_modem) {
    std::uint64_t from = std::max<std::uint64_t>(begin, start);
    std::uint64_t to = std::min<std::uint64_t>(end, start + bytes.size());
    if (from < to) {
      std::copy(bytes.begin() + (from - start), bytes.begin() + (to - start), out.begin() + (from - begin));
      count += static_cast<std::uint32_t>(to - from);
    }
  }
  if (known) {
    *known = count;
  }
  return out;
}

std::map<std::uint32_t, std::vector<std::uint8_t>> SimFlash::ModemAreas() const {
  std::lock_guard guard(m_lock);
  return m_modem;
}

namespace {

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    if (error) {
      *error = "cannot write " + path;
    }
    return false;
  }
  return true;
}

}  // namespace

bool SimFlash::WriteFiles(const std::string& dir, std::string* error) const {
  if (!WriteFile(dir + "/eboot.nb0", Eboot(), error) || !WriteFile(dir + "/os.bin", Os(), error)) {
    return false;
  }
  for (const auto& [start, bytes] : ModemAreas()) {
    char name[32];
    std::snprintf(name, sizeof name, "/phone_%08x.bin", start);
    if (!WriteFile(dir + name, bytes, error)) {
      return false;
    }
  }
  return true;
}

}  // namespace tw::sim
