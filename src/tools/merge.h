// The INI-driven merge: one flash image out of the inputs of a merge set,
// each cut or zero-padded to its slot, written behind each other.
#pragma once
#include <functional>
#include <string>

#include "tools/mergeset.h"

namespace tw {

// Results of MergeSetImages.
enum MergeResult {
  kMergeOk = 0,
  kMergeRefusedSet = -1,    // the INI was refused when it was read
  kMergeCannotCreate = -2,  // "Couldn't Create the File - %s!!"
  kMergeCannotOpen = -3,    // "Couldn't Open the File %s!!"
  kMergeReadFailed = -4,    // an input could not be read
  kMergeWriteFailed = -5,   // the output could not be written
};

// Writes set's output: for each entry, slot size bytes of its input from
// offset on, zero-padded. Shows the success notice or the failure messages
// through message; a failed merge deletes its output.
int MergeSetImages(MergeSet& set, const std::function<void(const std::string&)>& message);

}  // namespace tw
