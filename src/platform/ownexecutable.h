// The running executable's file, where the upgrader carries its package and
// beside which the tools look for the upgrader.
#pragma once
#include <string>

namespace tw {

// A path that opens the running executable's file. On Linux this is
// /proc/self/exe, which holds even when the file was renamed meanwhile.
std::string OwnExecutableFile();

// The directory the running executable lies in, with a trailing separator;
// empty when it cannot be learnt.
std::string OwnExecutableDir();

// The file name of a program of this build: "tidewell" on Linux,
// "tidewell.exe" on Windows.
std::string ProgramFileName(const std::string& base);

}  // namespace tw
