#include "download/phoneparams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tw {
namespace {

struct Row {
  DWORD type;
  DWORD start;
  DWORD areaSize;
  DWORD writeLen;
  DWORD timeout;
};

const std::vector<Row> kFullTable = {
    {8, 0x01700000, 0x06900000, 0, 60000},    {0, 0x00380000, 0x01500000, 0xFFFFFFFF, 100000},
    {1, 0x00000000, 0x4000, 0x4000, 200000},  {3, 0x00004000, 0x4000, 0x4000, 20000},
    {4, 0x00040000, 0x10000, 0x10000, 20000}, {5, 0x00100000, 0x30000, 0x30000, 20000},
    {6, 0x00280000, 0x40000, 0x40000, 20000},
};

TEST(PhoneParams, RegionTableFollowsTheFullSetOption) {
  struct Case {
    int fullSet;
    std::size_t regions;
  };
  const Case cases[] = {{0, 2}, {1, 7}, {2, 7}, {-1, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fullSet);
    const PhoneParams params = MakePhoneParams(c.fullSet);
    ASSERT_EQ(params.nNumRegions, c.regions);
    ASSERT_EQ(params.regions.size(), c.regions);
    for (std::size_t i = 0; i < c.regions; ++i) {
      SCOPED_TRACE(i);
      const RegionRecord& r = params.regions[i];
      EXPECT_EQ(r.dwAreaType, kFullTable[i].type);
      EXPECT_EQ(r.dwStart, kFullTable[i].start);
      EXPECT_EQ(r.dwAreaSize, kFullTable[i].areaSize);
      EXPECT_EQ(r.dwWriteLen, kFullTable[i].writeLen);
      EXPECT_EQ(r.dwTimeout, kFullTable[i].timeout);
    }
  }
}

TEST(PhoneParams, ValuesCopiedIntoTheDownloadRecord) {
  const PhoneParams params = MakePhoneParams(0);
  EXPECT_EQ(params.strModelName, "KORV-352");
  EXPECT_EQ(params.image.strName, "DISKIMAGE");
  EXPECT_EQ(params.dwValue25, 0u);
  EXPECT_EQ(params.dwValue26, 5000u);
  EXPECT_EQ(params.reserved, (std::array<BYTE, 24>{}));
}

TEST(PhoneParams, AreaNames) {
  struct Case {
    long long type;
    std::string longName;
    std::string shortName;
  };
  const Case cases[] = {
      {0, "CODE area", "CODE"},          {1, "BOOT area", "BOOT"},    {2, "PBL area", "PBL"},
      {3, "QCSBLHD area", "QCSBLHD"},    {4, "QCSBL area", "QCSBL"},  {5, "OEMSBL area", "OEMSBL"},
      {6, "SECDLOAD area", "SECDLOAD"},  {7, "BIB area", "BIB"},      {8, "EFS area", "EFS"},
      {9, "CODE area", "CODE"},          {1000, "CODE area", "CODE"}, {-1, "CODE area", "CODE"},
      {0xFFFFFFFF, "CODE area", "CODE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(GetAreaLongName(c.type), c.longName);
    EXPECT_EQ(GetAreaShortName(c.type), c.shortName);
  }
}

TEST(PhoneParams, WhatEachRegionWritesFromAnImage) {
  const PhoneParams params = MakePhoneParams(1);
  const RegionRecord& efs = params.regions[0];
  const RegionRecord& code = params.regions[1];
  const RegionRecord& boot = params.regions[2];
  const RegionRecord& oemsbl = params.regions[5];
  struct Case {
    const char* what;
    const RegionRecord& region;
    DWORD imageSize;
    DWORD bytes;
    DWORD blocks;
    DWORD firstBlock;
  };
  const Case cases[] = {
      {"CODE of the reference image", code, 14'524'912, 10'854'896, 10'601, 3'584},
      {"CODE, image ends at its start", code, 0x380000, 0, 0, 3'584},
      {"CODE, one byte", code, 0x380001, 1, 1, 3'584},
      {"CODE, one whole block", code, 0x380400, 1024, 1, 3'584},
      {"CODE, one block and a byte", code, 0x380401, 1025, 2, 3'584},
      {"CODE, image shorter than its start", code, 0x100000, 0, 0, 3'584},
      {"CODE, empty image", code, 0, 0, 0, 3'584},
      {"CODE, largest image", code, 0xFFFFFFFF, 0xFFFFFFFF - 0x380000, 4'190'720, 3'584},
      {"EFS writes nothing", efs, 14'524'912, 0, 0, 0x5C00},
      {"BOOT is fixed", boot, 14'524'912, 0x4000, 16, 0},
      {"BOOT is fixed, small image", boot, 0x100, 0x4000, 16, 0},
      {"OEMSBL", oemsbl, 14'524'912, 0x30000, 192, 1024},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const DWORD bytes = GetRegionWriteLength(c.region, c.imageSize);
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_EQ(GetPhoneBlockCount(bytes), c.blocks);
    EXPECT_EQ(GetPhoneFirstBlock(c.region.dwStart), c.firstBlock);
  }
}

}  // namespace
}  // namespace tw
