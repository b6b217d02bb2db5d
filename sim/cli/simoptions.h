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
  // --com-after ENTRY: the COM port arrives only once DIR/ENTRY exists.
  std::string comAfter;
  bool regionsGiven = false;
  bool help = false;     // --help, -h: the usage on stdout, nothing else
  bool version = false;  // --version
  SimConfig config;
};

// Parses argv[1..]; false with a message in *error for a usage error.
// --help, -h or --version ends the parse with that flag set.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, std::string* error);

const char* SimUsage();

}  // namespace tw::sim
