#include "sim/regiontable.h"

#include <array>

namespace tw::sim {

namespace {

constexpr std::array<SimRegion, 7> kRegions = {{
    {"EFS", 0x01700000, 0},
    {"CODE", 0x00380000, kToImageEnd},
    {"BOOT", 0x00000000, 0x4000},
    {"QCSBLHD", 0x00004000, 0x4000},
    {"QCSBL", 0x00040000, 0x10000},
    {"OEMSBL", 0x00100000, 0x30000},
    {"SECDLOAD", 0x00280000, 0x40000},
}};

}  // namespace

std::span<const SimRegion> RegionTable(bool fullSet) {
  return std::span(kRegions).first(fullSet ? kRegions.size() : 2);
}

std::uint32_t RegionWriteLength(const SimRegion& region, std::uint32_t imageSize) {
  if (region.writeLength != kToImageEnd) {
    return region.writeLength;
  }
  return imageSize > region.start ? imageSize - region.start : 0;
}

}  // namespace tw::sim
