// The one validation of a package, shared by the loader and
// `tidewell-tool inspect`: the magic, the EBOOT fields, the images back to
// back (EBOOT, PDA, phone, then sImageHeader) where the recorded offsets say
// they are, and PDA and phone images that are not empty.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/imageheader.h"
#include "platform/file.h"

namespace tw {

enum class PackageVerdict {
  kSound,      // take it
  kNoPackage,  // refused: nothing is loaded and nothing changes
  kCutOff,     // sound but for an image that runs past the end of the file: a short read
};

struct LayoutCheck {
  bool ok = false;
  std::string text;  // what was checked, or what is wrong
  PackageVerdict onFailure = PackageVerdict::kNoPackage;
};

struct PackageValidation {
  PackageVerdict verdict = PackageVerdict::kNoPackage;
  std::string reason;               // the first failed check that decided the verdict; empty when sound
  bool hasRecord = false;           // the last 36 bytes were read
  std::vector<LayoutCheck> checks;  // every check made, in file order
};

// Validates the layout a header describes in a file of fileLength bytes
// (the record included).
PackageValidation ValidatePackage(const sImageHeader& header, std::uint64_t fileLength);

// What the loader reports for a package it does not take whole: "no
// package: " or "short read: " and the reason; empty when sound.
std::string VerdictText(const PackageValidation& validation);

// Reads sImageHeader from the last 36 bytes of an open file into *header
// and validates it. A file shorter than 36 bytes, or one whose record
// cannot be read, is no package.
PackageValidation ValidatePackageFile(CFile& file, sImageHeader* header);

}  // namespace tw
