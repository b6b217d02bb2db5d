#include "tests/tools/scratchdir.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/platform/testfiles.h"

namespace tw::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() : m_old(fs::current_path()), m_path(MakeTempDir("tidewell-tools-")) {
  fs::current_path(m_path);
}

ScratchDir::~ScratchDir() {
  std::error_code error;
  fs::current_path(m_old, error);
  fs::remove_all(m_path, error);
}

std::vector<std::string> ScratchDir::Names() const {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(m_path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes SeededBytes(std::size_t n, unsigned seed) {
  Bytes bytes(n);
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::uint8_t& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

}  // namespace tw::test
