// Checks that a package's sImageHeader describes a sound layout: the magic,
// every image inside the file and in front of the record, and the images
// back to back (EBOOT, PDA, phone, then sImageHeader) where the recorded
// offsets say they are.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/imageheader.h"

namespace tw {

struct LayoutCheck {
  bool ok = false;
  std::string text;  // what was checked, or what is wrong
};

// One entry per check, in file order. fileLength counts the record.
std::vector<LayoutCheck> CheckPackageLayout(const sImageHeader& header, std::uint64_t fileLength);

bool IsSoundLayout(const std::vector<LayoutCheck>& checks);

}  // namespace tw
