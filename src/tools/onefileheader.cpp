#include "tools/onefileheader.h"

#include <algorithm>
#include <cstring>

#include "platform/byteorder.h"

namespace tw {

OneFileHeader OneFileHeader::Make(const std::array<std::string, kPartCount>& names) {
  OneFileHeader header;
  std::memcpy(header.bytes.data(), kOneFileTag, std::strlen(kOneFileTag));
  for (int part = 0; part < kPartCount; ++part) {
    const std::string& name = names[part];
    std::size_t n = std::min(name.size(), kOneFileNameField - 1);
    std::memcpy(header.bytes.data() + NameOffset(part), name.data(), n);
  }
  return header;
}

bool OneFileHeader::HasTag() const {
  const char* field = reinterpret_cast<const char*>(bytes.data());
  std::size_t n = std::strlen(kOneFileTag);
  return std::memcmp(field, kOneFileTag, n) == 0 && field[n] == '\0';
}

DWORD OneFileHeader::Size(int part) const {
  return LoadLe32(bytes.data() + SizeOffset(part));
}

void OneFileHeader::SetSize(int part, DWORD size) {
  StoreLe32(bytes.data() + SizeOffset(part), size);
}

namespace {

// Length of a NUL-padded field up to its first NUL (its size without one).
std::size_t FieldLength(const BYTE* field, std::size_t size) {
  const void* nul = std::memchr(field, 0, size);
  return nul ? static_cast<std::size_t>(static_cast<const BYTE*>(nul) - field) : size;
}

}  // namespace

std::string OneFileHeader::Name(int part) const {
  const BYTE* field = bytes.data() + NameOffset(part);
  return std::string(reinterpret_cast<const char*>(field), FieldLength(field, kOneFileNameField));
}

bool OneFileHeader::HasPlainName(int part) const {
  if (FieldLength(bytes.data() + NameOffset(part), kOneFileNameField) == kOneFileNameField) {
    return false;
  }
  std::string name = Name(part);
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

}  // namespace tw
