// The images of a packed upgrader, read with the upgrader's own package
// loader, as the simulated handset compares them.
#pragma once
#include <string>

#include "sim/simimages.h"

namespace tw::sim {

// False with a message in *error when the file holds no complete image set.
bool LoadPackageImages(const std::string& path, SimImages* images, std::string* error);

}  // namespace tw::sim
