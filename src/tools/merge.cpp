#include "tools/merge.h"

#include <cstring>
#include <fstream>

#include "tools/toolfile.h"

namespace tw {

namespace {

constexpr const char* kCreateFailed = "파일생성을 실패하였습니다.";

// One entry into the output: its buffer zeroed over slot size + offset
// bytes, filled with one read, and its slot written from the offset on.
int MergeEntryInto(std::ofstream& out, MergeEntry& entry,
                   const std::function<void(const std::string&)>& message) {
  std::memset(entry.pBuffer.get(), 0, entry.nBufferSize);
  std::ifstream in;
  if (!OpenToolInput(in, entry.strFileName)) {
    message("Couldn't Open the File " + entry.strFileName + "!!");
    return kMergeCannotOpen;
  }
  std::size_t got = 0;
  if (!ReadToolBlock(in, entry.pBuffer.get(), entry.nBufferSize, &got)) {
    message(kCreateFailed);
    message(std::string(kCreateFailed) + "-1");
    return kMergeReadFailed;
  }
  in.close();
  if (!WriteToolBlock(out, entry.pBuffer.get() + entry.nOffset, static_cast<std::size_t>(entry.nAddress))) {
    message(kCreateFailed);
    return kMergeWriteFailed;
  }
  return kMergeOk;
}

}  // namespace

int MergeSetImages(MergeSet& set, const std::function<void(const std::string&)>& message) {
  if (!set.strRefused.empty()) {
    message(set.strRefused);
    return kMergeRefusedSet;
  }
  // The output.
  std::ofstream out;
  if (!CreateToolOutput(out, set.strOutputFile)) {
    message("Couldn't Create the File - " + set.strOutputFile + "!!");
    return kMergeCannotCreate;
  }
  // Each entry in order; the first failure ends the merge and
  // leaves no output behind.
  for (int i = 0; i < set.nCount; ++i) {
    int result = MergeEntryInto(out, set.entries[i], message);
    if (result != kMergeOk) {
      out.close();
      DeleteToolOutput(set.strOutputFile);
      return result;
    }
  }
  // Done.
  out.close();
  message("Vellumark Merge에 성공하였습니다. - " + set.strOutputFile + "!!");
  return kMergeOk;
}

}  // namespace tw
