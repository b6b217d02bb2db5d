// The modem's flash regions in the order the host must download them: EFS
// (never erased or written), CODE (from its start to the end of the phone
// image), then, with the package's full set, BOOT, QCSBLHD, QCSBL, OEMSBL and
// SECDLOAD. A region's start is its flash address and its offset in the
// phone image.
#pragma once
#include <cstdint>
#include <span>

namespace tw::sim {

struct SimRegion {
  const char* name;
  std::uint32_t start;
  std::uint32_t writeLength;  // kToImageEnd: up to the end of the image
};

inline constexpr std::uint32_t kToImageEnd = 0xFFFFFFFF;

// All seven regions with the full set, else EFS and CODE.
std::span<const SimRegion> RegionTable(bool fullSet);

// The bytes the host writes into a region from an image of imageSize bytes.
std::uint32_t RegionWriteLength(const SimRegion& region, std::uint32_t imageSize);

}  // namespace tw::sim
