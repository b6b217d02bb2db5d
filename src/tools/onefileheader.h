// The 812-byte header of a one-file image: the tag, then the size and name
// of the EBOOT, PDA and PHONE bodies, which follow the header in that order.
// Integers are unsigned 32-bit little-endian.
#pragma once
#include <array>
#include <cstddef>
#include <string>

#include "platform/wintypes.h"

namespace tw {

inline constexpr std::size_t kOneFileHeaderSize = 812;
inline constexpr std::size_t kOneFileTagField = 20;
inline constexpr std::size_t kOneFileNameField = 260;
inline constexpr const char* kOneFileTag = "QX7 KORV-352";

// The three parts, in file order.
enum OneFilePart { kPartEboot = 0, kPartPda = 1, kPartPhone = 2, kPartCount = 3 };

struct OneFileHeader {
  std::array<BYTE, kOneFileHeaderSize> bytes{};

  // Offsets of a part's size and name fields (24, 284, 548 and 20, ...).
  static constexpr std::size_t SizeOffset(int part) { return kOneFileTagField + part * 264; }
  static constexpr std::size_t NameOffset(int part) { return SizeOffset(part) + 4; }

  // A zeroed header with the tag and the three names (each cut to 259
  // characters); the sizes are 0.
  static OneFileHeader Make(const std::array<std::string, kPartCount>& names);

  // The tag field, read as a NUL-terminated string, is the tag.
  bool HasTag() const;
  DWORD Size(int part) const;
  void SetSize(int part, DWORD size);
  // The name field up to its first NUL (all 260 bytes without one).
  std::string Name(int part) const;
  // The name field holds a plain file name: NUL-terminated, not empty, no
  // separator ('/' or '\\'), not "." or "..".
  bool HasPlainName(int part) const;
};

}  // namespace tw
