// Files for tests: a private temporary directory, files with recognisable
// contents (sparse where they are large), and small readers and writers.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace tw::test {

using Bytes = std::vector<BYTE>;

// A new directory under the system's temporary directory, named prefix and
// a random suffix; created exclusively, so parallel tests never share one.
inline std::string MakeTempDir(const std::string& prefix) {
  std::random_device entropy;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(entropy()));
    const std::filesystem::path path = std::filesystem::temp_directory_path() / (prefix + suffix);
    std::error_code error;
    if (std::filesystem::create_directory(path, error)) {
      return path.generic_string();
    }
  }
  throw std::runtime_error("cannot make a temporary directory");
}

// A directory under the system's temporary directory, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  std::vector<std::string> Entries() const;  // names of the files in it

 private:
  std::string m_path;
};

// size bytes that differ from image to image (seed) and from KiB to KiB.
Bytes Pattern(std::size_t size, unsigned seed);

void WriteFile(const std::string& path, const Bytes& bytes);
void AppendFile(const std::string& path, const Bytes& bytes);
// A file of size bytes, all zero except marks at its start and end
// (up to 4 KiB each, from Pattern(.., seed)). Sparse on disk.
void WriteSparse(const std::string& path, std::uint64_t size, unsigned seed);
Bytes ReadRange(const std::string& path, std::uint64_t offset, std::uint64_t length);
std::uint64_t FileSize(const std::string& path);
bool Exists(const std::string& path);

}  // namespace tw::test
