// bench_events [rounds] [--pacing fixed|answer]: whole upgrades of the
// released sizes against the simulated handset (tidewell --headless
// --simulate --released-sizes), without and with --events and --record, in
// turn (each round's first run alternates). Prints the median wall and CPU time (user + system, the
// upgrader's process with its simulated handset) of each, their ratios
// against the goals (wall at most 1.02, CPU at most 1.05) and the size of an
// events file.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/benchchild.h"

namespace {

struct Figures {
  double wallSeconds = 0;
  double cpuSeconds = 0;
};

double Seconds(const timeval& tv) {
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

// Runs the upgrader to its end, its output thrown away; false when it failed.
bool RunUpgrade(const std::vector<std::string>& extra, const std::string& pacing, Figures* figures) {
  std::vector<std::string> args{TIDEWELL_BIN,       "--headless", "--simulate",
                                "--released-sizes", "--pacing",   pacing};
  args.insert(args.end(), extra.begin(), extra.end());
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = tw::bench::SpawnChild(args, "/dev/null");
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return false;
  figures->wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures->cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  std::string pacing = "answer";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--pacing" && i + 1 < argc) {
      pacing = argv[++i];
    } else {
      rounds = std::max(1, std::atoi(argv[i]));
    }
  }
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("bench-events-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string events = (dir / "events.jsonl").string();
  const std::string record = (dir / "record.jsonl").string();

  std::vector<double> wallOff, cpuOff, wallOn, cpuOn;
  std::uintmax_t eventsSize = 0;
  for (int round = 0; round < rounds; ++round) {
    Figures off, on;
    std::filesystem::remove(events);
    // Every other round runs the reporting one first, so that a machine
    // whose load drifts favours neither.
    const std::vector<std::string> reporting{"--events", events, "--record", record};
    const bool bOffFirst = round % 2 == 0;
    const bool bRan = bOffFirst ? RunUpgrade({}, pacing, &off) && RunUpgrade(reporting, pacing, &on)
                                : RunUpgrade(reporting, pacing, &on) && RunUpgrade({}, pacing, &off);
    if (!bRan) {
      std::fprintf(stderr, "bench_events: an upgrade failed\n");
      std::filesystem::remove_all(dir);
      return 1;
    }
    eventsSize = std::filesystem::file_size(events);
    wallOff.push_back(off.wallSeconds);
    cpuOff.push_back(off.cpuSeconds);
    wallOn.push_back(on.wallSeconds);
    cpuOn.push_back(on.cpuSeconds);
    std::printf("round %d: off %.2f s wall %.2f s CPU, on %.2f s wall %.2f s CPU\n", round + 1,
                off.wallSeconds, off.cpuSeconds, on.wallSeconds, on.cpuSeconds);
  }
  std::filesystem::remove_all(dir);
  const double wallRatio = Median(wallOn) / Median(wallOff);
  const double cpuRatio = Median(cpuOn) / Median(cpuOff);
  std::printf("released sizes, %s pacing, %d rounds (medians)\n", pacing.c_str(), rounds);
  std::printf("  off: %.2f s wall, %.2f s CPU\n", Median(wallOff), Median(cpuOff));
  std::printf("  on:  %.2f s wall, %.2f s CPU\n", Median(wallOn), Median(cpuOn));
  std::printf("  wall ratio %.3f (goal: at most 1.02), CPU ratio %.3f (goal: at most 1.05)\n", wallRatio,
              cpuRatio);
  std::printf("  events file: %ju bytes\n", eventsSize);
  return 0;
}
