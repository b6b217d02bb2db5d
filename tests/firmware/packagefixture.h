// Packages for the firmware tests: a sound header for images of given
// sizes, and packages written byte by byte with any header.
#pragma once
#include <cstdint>
#include <string>

#include "firmware/imageheader.h"
#include "tests/platform/testfiles.h"

namespace tw::test {

// A sound header for images of these sizes behind an executable of exeSize.
sImageHeader SoundHeader(std::uint64_t exeSize, std::uint64_t ebootSize, std::uint64_t pdaSize,
                         std::uint64_t phoneSize);

// exe, eboot, pda and phone back to back, then the encoded header.
void WritePackage(const std::string& path, const Bytes& exe, const Bytes& eboot, const Bytes& pda,
                  const Bytes& phone, const sImageHeader& header);

}  // namespace tw::test
