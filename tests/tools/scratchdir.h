// A private temporary directory that is the current directory while the
// test runs (the tools read their INI files from there and extract into it),
// with small file helpers.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tw::test {

using Bytes = std::vector<std::uint8_t>;

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();  // back to the old current directory; the directory goes
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& Path() const { return m_path; }
  // The names in the directory, sorted.
  std::vector<std::string> Names() const;

 private:
  std::filesystem::path m_old;
  std::filesystem::path m_path;
};

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);
void WriteText(const std::filesystem::path& path, const std::string& text);
Bytes ReadBytes(const std::filesystem::path& path);
// n bytes of a pattern that differs for each seed.
Bytes SeededBytes(std::size_t n, unsigned seed);

}  // namespace tw::test
