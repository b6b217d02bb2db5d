#include "tests/platform/testfiles.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tw::test {

namespace fs = std::filesystem;

TempDir::TempDir() : m_path(MakeTempDir("tw-test-")) {}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(m_path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

Bytes Pattern(std::size_t size, unsigned seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<BYTE>((i * 7 + (i >> 10) * 13 + seed * 29 + 1) & 0xFF);
  }
  return bytes;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void AppendFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteSparse(const std::string& path, std::uint64_t size, unsigned seed) {
  // Sized first (sparse where the file system can), then the two marks.
  { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
  std::error_code error;
  fs::resize_file(path, size, error);
  const std::uint64_t mark = std::min<std::uint64_t>(4096, size);
  const Bytes head = Pattern(mark, seed);
  const Bytes tail = Pattern(mark, seed + 100);
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  out.seekp(static_cast<std::streamoff>(size - mark));
  out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
  out.close();
  if (error || !out) {
    throw std::runtime_error("cannot write " + path);
  }
}

Bytes ReadRange(const std::string& path, std::uint64_t offset, std::uint64_t length) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  Bytes bytes(length);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

std::uint64_t FileSize(const std::string& path) {
  return fs::file_size(path);
}

bool Exists(const std::string& path) {
  return fs::exists(path);
}

}  // namespace tw::test
