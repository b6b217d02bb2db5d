// The command line of tidewell-sim.
#pragma once
#include <string>
#include <vector>

#include "sim/simconfig.h"

namespace tw::sim {

struct SimOptions {
  std::string deviceDir;
  std::string verifyPackage;
  std::string dumpDir;
  bool regionsGiven = false;
  SimConfig config;
};

// Parses argv[1..]; false with a message in *error for a usage error.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error);

const char* SimUsage();

}  // namespace tw::sim
