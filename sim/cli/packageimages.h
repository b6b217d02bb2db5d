// The images of a packed upgrader, as the simulated handset compares them,
// read with a reader of its own: the 36-byte trailer at the end of the file
// (nine little-endian words: "IDJB", EBOOT offset and size, PDA offset and
// size, the full-set option, the extra-command option, phone offset and
// size) and the images it names, which must lie back to back (EBOOT, PDA,
// phone) directly in front of the trailer.
#pragma once
#include <string>

#include "sim/simimages.h"

namespace tw::sim {

// False with a message in *error when the file holds no such package, or its
// trailer's offsets and sizes do not add up to the file.
bool LoadPackageImages(const std::string& path, SimImages* images, std::string* error);

}  // namespace tw::sim
