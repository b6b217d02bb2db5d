// The phone download's parameter block: fixed values for the modem and the
// table of flash regions to erase and write, in download order, with the names
// of the area types for the log and progress texts.
#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace tw {

// Area types of the region table.
inline constexpr DWORD AREA_CODE = 0;
inline constexpr DWORD AREA_BOOT = 1;
inline constexpr DWORD AREA_PBL = 2;
inline constexpr DWORD AREA_QCSBLHD = 3;
inline constexpr DWORD AREA_QCSBL = 4;
inline constexpr DWORD AREA_OEMSBL = 5;
inline constexpr DWORD AREA_SECDLOAD = 6;
inline constexpr DWORD AREA_BIB = 7;
inline constexpr DWORD AREA_EFS = 8;

// A write length meaning "from the region's start to the end of the image".
inline constexpr DWORD kWriteToImageEnd = 0xFFFFFFFF;
// The phone image goes in blocks of this size; block i is download packet i.
inline constexpr DWORD kPhoneBlockSize = 1024;

// "CODE area", "BOOT area", ...: the erase log lines. Unknown types (9 and up,
// negative) are named like CODE.
const char* GetAreaLongName(long long type);
// "CODE", "BOOT", ...: the progress texts.
const char* GetAreaShortName(long long type);

// One region to download.
struct RegionRecord {
  DWORD dwAreaType = AREA_CODE;
  DWORD dwStart = 0;     // flash address, also the offset in the phone image
  DWORD dwAreaSize = 0;  // not read by the download
  DWORD dwWriteLen = 0;  // 0: nothing to write; kWriteToImageEnd: up to the image's end
  DWORD dwTimeout = 0;   // milliseconds
};

// The block's image record.
struct PhoneImageRecord {
  std::string strName = "DISKIMAGE";
  std::array<DWORD, 6> dwValues = {0x9CA80000, 0x9CA80000, 0, 1, 0, 0};
};

// The parameter block (m_pParam). Only nNumRegions and the region table are
// read by the download; reserved and the two words behind it are copied into
// its local record.
struct PhoneParams {
  std::string strModelName = "KORV-352";
  DWORD dwValue2 = 1;
  std::string strValue3 = "0129";
  std::string strValue4 = "0030";
  std::array<DWORD, 16> dwValues5To20 = {1,          0,          1,          0,          0, 1,
                                         0x80100000, 0x9CA80000, 0x9CA00000, 0x04000000, 0, 0x01020306,
                                         2016,       1562624,    0x30000,    520};
  PhoneImageRecord image;
  DWORD nNumRegions = 0;
  std::vector<RegionRecord> regions;  // nNumRegions records, in download order
  std::array<BYTE, 24> reserved{};
  DWORD dwValue25 = 0;
  DWORD dwValue26 = 5000;
  DWORD dwValue27 = 0;
  DWORD dwValue28 = 15000000;
};

// A fresh parameter block: EFS and CODE when bPhoneFullSet is 0, else the
// seven regions EFS, CODE, BOOT, QCSBLHD, QCSBL, OEMSBL, SECDLOAD.
PhoneParams MakePhoneParams(int bPhoneFullSet);

// The bytes a region writes from an image of imageSize bytes: its write
// length, or for kWriteToImageEnd the rest of the image from its start
// (0 when the image ends before the start).
DWORD GetRegionWriteLength(const RegionRecord& region, DWORD imageSize);

// Blocks needed for size bytes: one per KiB, the last one partly filled.
DWORD GetPhoneBlockCount(DWORD size);
// The download packet that holds the first block at a flash address.
inline DWORD GetPhoneFirstBlock(DWORD start) {
  return start / kPhoneBlockSize;
}

}  // namespace tw
