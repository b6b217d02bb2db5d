// An image set as a tool INI file describes it: the merge INI files (section
// "BOOT_IMAGE") and the one-file image INI file.
#pragma once
#include <array>
#include <cstddef>
#include <memory>
#include <string>

#include "platform/wintypes.h"
#include "tools/ini.h"

namespace tw {

// The room of a set: 100 entries, names of 259 characters (260 bytes with
// the terminating NUL).
inline constexpr int kMaxMergeEntries = 100;
inline constexpr std::size_t kMaxToolPathChars = 259;
// The most bytes the buffers of one merge set may take together (slot
// sizes plus offsets): 256 MiB, far above any flash region of the handset.
inline constexpr long long kMaxMergeSetBytes = 256LL * 1024 * 1024;

struct MergeEntry {
  // A merge set: the input's path, FILE_DIR + "\\" + FILE_NAMEn. The
  // one-file set: the name as the INI gives it.
  std::string strFileName;
  // FILE_ADDRn as read; after reading, the slot size in bytes.
  int nAddress = 0;
  // FILE_OFFSETn: leading bytes of the input that are skipped.
  int nOffset = 0;
  // slot size + offset bytes, allocated when the INI is read.
  std::unique_ptr<BYTE[]> pBuffer;
  std::size_t nBufferSize = 0;
};

struct MergeSet {
  int nCount = 0;  // FILE_COUNT
  std::array<MergeEntry, kMaxMergeEntries> entries;
  std::string strOutputFile;  // OUTPUT_FILE
  // Why the INI was refused when it was read; empty for a usable set.
  std::string strRefused;
};

// Reads section "BOOT_IMAGE" of a merge INI into set: names, slot sizes
// (each address up to the next one, the last up to FILE_END_ADDRESS),
// offsets and buffers. Returns "" when the set is usable. Otherwise the set
// holds no entries, strRefused says why, and the same text is returned:
// FILE_COUNT below 0 or above 100, a path above 259 characters, a negative
// offset, addresses that do not ascend, or buffers beyond kMaxMergeSetBytes
// (or beyond what can be allocated).
std::string ReadMergeSet(const CIniProfile& ini, MergeSet& set);

// Empties set: count 0, no names, no buffers, no output name.
void ClearMergeSet(MergeSet& set);

}  // namespace tw
