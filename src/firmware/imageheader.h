// sImageHeader: the 36-byte record that ends a package and locates the
// images appended to the upgrader's executable. Nine unsigned 32-bit
// little-endian words, encoded and decoded explicitly whatever the host.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/file.h"
#include "platform/wintypes.h"

namespace tw {

inline constexpr DWORD IMAGE_HEADER_MAGIC = 0x424A4449;  // "IDJB" in file order
inline constexpr std::size_t IMAGE_HEADER_SIZE = 36;

struct sImageHeader {
  DWORD dwMagic = 0;
  DWORD dwEbootOffset = 0;  // absolute file offset; 0: no EBOOT image
  DWORD dwEbootSize = 0;    // 0: no EBOOT image
  DWORD dwPdaOffset = 0;    // consulted only when there is no EBOOT image
  DWORD dwPdaSize = 0;
  DWORD dwPhoneFullSet = 0;   // non-zero: all seven phone regions
  DWORD dwPhoneExtraCmd = 0;  // exactly 1: the extra command at the EFS region
  DWORD dwPhoneOffset = 0;    // never consulted by the loader
  DWORD dwPhoneSize = 0;

  friend bool operator==(const sImageHeader&, const sImageHeader&) = default;
};

using ImageHeaderBytes = std::array<BYTE, IMAGE_HEADER_SIZE>;

ImageHeaderBytes EncodeImageHeader(const sImageHeader& header);
sImageHeader DecodeImageHeader(const BYTE* bytes);  // reads IMAGE_HEADER_SIZE bytes

// Reads the record from the last 36 bytes of an open file (the magic is not
// checked). FALSE for a file shorter than 36 bytes or a failed read: no package.
BOOL ReadImageHeader(CFile& file, sImageHeader& header);

// True when size bytes from start lie inside a file of length bytes.
inline bool LiesInside(std::uint64_t start, std::uint64_t size, std::uint64_t length) {
  return start <= length && size <= length - start;
}

}  // namespace tw
