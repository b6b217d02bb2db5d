#include "tools/mergeset.h"

#include <cstdint>
#include <new>

#include "tools/toolpath.h"

namespace tw {

namespace {

constexpr const char* kSection = "BOOT_IMAGE";

std::string Numbered(const char* key, int n) {
  return key + std::to_string(n);
}

// Slot sizes from the addresses: each entry up to the next one's address,
// the last up to the end address, in 64 bits so nothing wraps.
std::string MakeSlotSizes(MergeSet& set, int nEnd) {
  for (int i = 0; i < set.nCount; ++i) {
    MergeEntry& entry = set.entries[i];
    long long next = i + 1 < set.nCount ? set.entries[i + 1].nAddress : nEnd;
    long long slot = next - static_cast<long long>(entry.nAddress);
    if (slot < 0) {
      return i + 1 < set.nCount ? Numbered("FILE_ADDR", i + 2) + " is below " + Numbered("FILE_ADDR", i + 1)
                                : "FILE_END_ADDRESS is below " + Numbered("FILE_ADDR", i + 1);
    }
    if (slot > kMaxMergeSetBytes) {
      return Numbered("FILE_ADDR", i + 1) + " gives a slot of " + std::to_string(slot) + " bytes";
    }
    entry.nAddress = static_cast<int>(slot);
  }
  return {};
}

std::string AllocateBuffers(MergeSet& set) {
  long long total = 0;
  for (int i = 0; i < set.nCount; ++i) {
    total += static_cast<long long>(set.entries[i].nAddress) + set.entries[i].nOffset;
  }
  if (total > kMaxMergeSetBytes) {
    return "the slots and offsets take " + std::to_string(total) + " bytes, more than " +
           std::to_string(kMaxMergeSetBytes);
  }
  for (int i = 0; i < set.nCount; ++i) {
    MergeEntry& entry = set.entries[i];
    entry.nBufferSize = static_cast<std::size_t>(entry.nAddress) + static_cast<std::size_t>(entry.nOffset);
    entry.pBuffer.reset(new (std::nothrow) BYTE[entry.nBufferSize == 0 ? 1 : entry.nBufferSize]);
    if (!entry.pBuffer) {
      return "no memory for the " + std::to_string(entry.nBufferSize) + " bytes of " + entry.strFileName;
    }
  }
  return {};
}

std::string ReadEntries(const CIniProfile& ini, MergeSet& set) {
  // Count and directory.
  set.nCount = ini.GetInt("FILE_COUNT", kSection);
  if (set.nCount < 0 || set.nCount > kMaxMergeEntries) {
    std::string count = std::to_string(set.nCount);
    set.nCount = 0;
    return "FILE_COUNT " + count + " is outside 0 to " + std::to_string(kMaxMergeEntries);
  }
  std::string dir = ini.GetString("FILE_DIR", kSection);
  // Name, address and offset of each entry.
  for (int n = 1; n <= set.nCount; ++n) {
    MergeEntry& entry = set.entries[n - 1];
    entry.strFileName = JoinToolPath(dir, ini.GetString(Numbered("FILE_NAME", n), kSection));
    entry.nAddress = ini.GetInt(Numbered("FILE_ADDR", n), kSection);
    entry.nOffset = ini.GetInt(Numbered("FILE_OFFSET", n), kSection);
    if (entry.strFileName.size() > kMaxToolPathChars) {
      return Numbered("FILE_NAME", n) + " makes a path of " + std::to_string(entry.strFileName.size()) +
             " characters, more than " + std::to_string(kMaxToolPathChars);
    }
    if (entry.nOffset < 0 || entry.nOffset > kMaxMergeSetBytes) {
      return Numbered("FILE_OFFSET", n) + " " + std::to_string(entry.nOffset) + " is outside 0 to " +
             std::to_string(kMaxMergeSetBytes);
    }
  }
  // The end address; addresses become slot sizes; the buffers.
  std::string error = MakeSlotSizes(set, ini.GetInt("FILE_END_ADDRESS", kSection));
  if (error.empty()) {
    error = AllocateBuffers(set);
  }
  // The output.
  set.strOutputFile = ToolPath(ini.GetString("OUTPUT_FILE", kSection));
  return error;
}

}  // namespace

void ClearMergeSet(MergeSet& set) {
  set.nCount = 0;
  for (MergeEntry& entry : set.entries) {
    entry = MergeEntry{};
  }
  set.strOutputFile.clear();
  set.strRefused.clear();
}

std::string ReadMergeSet(const CIniProfile& ini, MergeSet& set) {
  ClearMergeSet(set);
  std::string error = ReadEntries(ini, set);
  if (!error.empty()) {
    ClearMergeSet(set);
    set.strRefused = ini.GetPath() + ": " + error + "; the merge set is refused";
  }
  return set.strRefused;
}

}  // namespace tw
