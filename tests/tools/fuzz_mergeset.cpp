// Fuzzes the merge INI reader: the input is the INI file. A set is either
// refused and empty, or within the sets' room: at most 100 entries, paths
// of at most 259 characters, slots and offsets not negative, buffers
// allocated and together within the bound.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tools/mergeset.h"

namespace {

std::string g_iniPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_iniPath = "/tmp/fuzz_mergeset." + std::to_string(::getpid()) + ".ini";
  std::atexit([] { std::remove(g_iniPath.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(g_iniPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  auto set = std::make_unique<tw::MergeSet>();
  const std::string refused = tw::ReadMergeSet(tw::CIniProfile(g_iniPath), *set);
  if (!refused.empty()) {
    if (set->nCount != 0 || set->entries[0].pBuffer) __builtin_trap();
    return 0;
  }
  if (set->nCount < 0 || set->nCount > tw::kMaxMergeEntries) __builtin_trap();
  long long total = 0;
  for (int i = 0; i < set->nCount; ++i) {
    const tw::MergeEntry& entry = set->entries[i];
    if (entry.nAddress < 0 || entry.nOffset < 0 || !entry.pBuffer) __builtin_trap();
    if (entry.strFileName.size() > tw::kMaxToolPathChars) __builtin_trap();
    if (entry.nBufferSize != static_cast<std::size_t>(entry.nAddress) + entry.nOffset) __builtin_trap();
    total += static_cast<long long>(entry.nBufferSize);
  }
  if (total > tw::kMaxMergeSetBytes) __builtin_trap();
  return 0;
}
