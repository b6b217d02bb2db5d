// The benchmarks' child processes: a program of the build started with its
// stdout in a file and its stderr thrown away.
#pragma once
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tw::bench {

// The child's pid, or -1 when it could not be started.
inline pid_t SpawnChild(std::vector<std::string> args, const std::string& outPath) {
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen(outPath.c_str(), "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

}  // namespace tw::bench
