#include "download/phoneparams.h"

#include <iterator>

namespace tw {

namespace {

struct AreaName {
  const char* longName;
  const char* shortName;
};

// Indexed by area type.
constexpr AreaName kAreaNames[] = {
    {"CODE area", "CODE"},         {"BOOT area", "BOOT"},   {"PBL area", "PBL"},
    {"QCSBLHD area", "QCSBLHD"},   {"QCSBL area", "QCSBL"}, {"OEMSBL area", "OEMSBL"},
    {"SECDLOAD area", "SECDLOAD"}, {"BIB area", "BIB"},     {"EFS area", "EFS"},
};

const AreaName& NameOf(long long type) {
  constexpr long long kCount = static_cast<long long>(std::size(kAreaNames));
  return (type >= 0 && type < kCount) ? kAreaNames[type] : kAreaNames[AREA_CODE];
}

// Every region the handset's flash knows, in download order. The first two
// are downloaded always, the rest with the full set only.
constexpr RegionRecord kRegionTable[] = {
    {AREA_EFS, 0x01700000, 0x06900000, 0, 60000},
    {AREA_CODE, 0x00380000, 0x01500000, kWriteToImageEnd, 100000},
    {AREA_BOOT, 0x00000000, 0x4000, 0x4000, 200000},
    {AREA_QCSBLHD, 0x00004000, 0x4000, 0x4000, 20000},
    {AREA_QCSBL, 0x00040000, 0x10000, 0x10000, 20000},
    {AREA_OEMSBL, 0x00100000, 0x30000, 0x30000, 20000},
    {AREA_SECDLOAD, 0x00280000, 0x40000, 0x40000, 20000},
};
constexpr DWORD kFullSetRegions = 7;
constexpr DWORD kBasicSetRegions = 2;

}  // namespace

const char* GetAreaLongName(long long type) {
  return NameOf(type).longName;
}

const char* GetAreaShortName(long long type) {
  return NameOf(type).shortName;
}

PhoneParams MakePhoneParams(int bPhoneFullSet) {
  // 1. The fixed values and the image record come with the block.
  PhoneParams params;
  // 2. The full set takes all seven regions, otherwise EFS and CODE.
  params.nNumRegions = bPhoneFullSet != 0 ? kFullSetRegions : kBasicSetRegions;
  params.regions.assign(std::begin(kRegionTable), std::begin(kRegionTable) + params.nNumRegions);
  return params;
}

DWORD GetRegionWriteLength(const RegionRecord& region, DWORD imageSize) {
  if (region.dwWriteLen != kWriteToImageEnd) return region.dwWriteLen;
  return imageSize > region.dwStart ? imageSize - region.dwStart : 0;
}

DWORD GetPhoneBlockCount(DWORD size) {
  return size / kPhoneBlockSize + (size % kPhoneBlockSize != 0 ? 1 : 0);
}

}  // namespace tw
