// Helpers for the package tests: a private temporary directory, files with
// recognisable contents (sparse where they are large), and packages written
// byte by byte with any header.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/imageheader.h"

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

// A sound header for images of these sizes behind an executable of exeSize.
sImageHeader SoundHeader(std::uint64_t exeSize, std::uint64_t ebootSize, std::uint64_t pdaSize,
                         std::uint64_t phoneSize);

// exe, eboot, pda and phone back to back, then the encoded header.
void WritePackage(const std::string& path, const Bytes& exe, const Bytes& eboot, const Bytes& pda,
                  const Bytes& phone, const sImageHeader& header);

}  // namespace tw::test
