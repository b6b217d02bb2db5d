// Files for tests: a private temporary directory, files with recognisable
// contents (sparse where they are large), and small readers and writers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace tw::test {

using Bytes = std::vector<BYTE>;

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
