// bench_station [slots [rounds]] | --soak [handsets]:
//   Without --soak: a package of the released sizes upgraded on `slots` (8)
//   simulated handsets at once by one `tidewell --headless --slots N`, and
//   on one handset alone, `rounds` (3) times in turn. Prints the medians of
//   each one's wall time, the upgrader's CPU time and peak resident memory,
//   and the ratios against the goals (wall at most 1.25, peak memory at
//   most 1.1).
//   With --soak: small images and two phone regions, `handsets` (50) handsets one after the other
//   in one `tidewell --station`: after each run the upgrader's open
//   descriptors, threads and resident memory, and the growth from the 5th
//   run to the last; then SIGINT, which must end the idle station with 0.
// The simulated handsets are processes of their own (tidewell-sim), so the
// upgrader's figures are its own.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchchild.h"

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

// Released sizes: EBOOT, PDA OS image, phone image.
constexpr std::uintmax_t kReleased[3] = {1126400, 63822351, 14524912};
constexpr std::uintmax_t kSmall[3] = {64 * 1024, 256 * 1024, 0x380000 + 64 * 1024};

using tw::bench::SpawnChild;

bool Exited0(pid_t pid, rusage* usage = nullptr) {
  int status = 0;
  rusage ignored{};
  return ::wait4(pid, &status, 0, usage ? usage : &ignored) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

double Seconds(const timeval& tv) {
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

bool WriteRandom(const fs::path& path, std::uintmax_t size, unsigned seed) {
  std::ofstream file(path, std::ios::binary);
  std::mt19937 random(seed);
  std::vector<char> chunk(1 << 16);
  for (std::uintmax_t done = 0; done < size && file;) {
    for (char& c : chunk) c = static_cast<char>(random());
    const std::uintmax_t n = std::min<std::uintmax_t>(chunk.size(), size - done);
    file.write(chunk.data(), static_cast<std::streamsize>(n));
    done += n;
  }
  return static_cast<bool>(file);
}

// A package of random images of the given sizes, with the full phone set
// or its two regions.
bool MakePackage(const fs::path& dir, const std::uintmax_t sizes[3], bool bFullSet, fs::path* package) {
  *package = dir / "package";
  return WriteRandom(dir / "eboot.nb0", sizes[0], 1) && WriteRandom(dir / "pda.bin", sizes[1], 2) &&
         WriteRandom(dir / "phone.bin", sizes[2], 3) &&
         Exited0(
             SpawnChild({TIDEWELL_TOOL_BIN, "pack", "--eboot", (dir / "eboot.nb0").string(), "--pda",
                         (dir / "pda.bin").string(), "--phone", (dir / "phone.bin").string(), "--full-set",
                         bFullSet ? "1" : "0", "--upgrader", TIDEWELL_BIN, "-o", package->string()},
                        "/dev/null"));
}

pid_t SpawnHandset(const fs::path& devices, const fs::path& package, int n, const fs::path& out) {
  return SpawnChild(
      {TIDEWELL_SIM_BIN, "--device-dir", devices.string(), "--location", "1-" + std::to_string(n), "--com",
       std::to_string(10 + n), "--verify", package.string(), "--timeout", "900000"},
      out.string());
}

struct Figures {
  double wallSeconds = 0;
  double cpuSeconds = 0;
  long peakKiB = 0;
};

// `slots` handsets at once on one upgrader; false when a run or a
// verification failed.
bool RunParallel(const fs::path& dir, const fs::path& package, int slots, Figures* figures) {
  const fs::path devices = dir / ("devices-" + std::to_string(slots));
  fs::create_directories(devices);
  std::vector<pid_t> handsets;
  for (int n = 1; n <= slots; ++n) {
    handsets.push_back(SpawnHandset(devices, package, n, dir / ("handset-" + std::to_string(n) + ".json")));
  }
  const auto start = SteadyClock::now();
  const pid_t upgrader =
      SpawnChild({TIDEWELL_BIN, "--headless", "--device-dir", devices.string(), "--package", package.string(),
                  "--slots", std::to_string(slots), "--pacing", "answer", "--timeout", "1800"},
                 "/dev/null");
  rusage usage{};
  bool ok = Exited0(upgrader, &usage);
  figures->wallSeconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
  figures->cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  figures->peakKiB = usage.ru_maxrss;
  for (pid_t handset : handsets) ok = Exited0(handset) && ok;
  return ok;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int Parallel(int slots, int rounds) {
  const fs::path dir = fs::temp_directory_path() / ("bench-station-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::path package;
  bool ok = MakePackage(dir, kReleased, true, &package);
  std::vector<double> wallOne, cpuOne, peakOne, wallMany, cpuMany, peakMany;
  for (int round = 0; round < rounds && ok; ++round) {
    // Every other round runs the eight first, so that a machine whose load
    // drifts favours neither.
    Figures one, many;
    ok = round % 2 == 0 ? RunParallel(dir, package, 1, &one) && RunParallel(dir, package, slots, &many)
                        : RunParallel(dir, package, slots, &many) && RunParallel(dir, package, 1, &one);
    wallOne.push_back(one.wallSeconds);
    cpuOne.push_back(one.cpuSeconds);
    peakOne.push_back(static_cast<double>(one.peakKiB));
    wallMany.push_back(many.wallSeconds);
    cpuMany.push_back(many.cpuSeconds);
    peakMany.push_back(static_cast<double>(many.peakKiB));
    std::printf("round %d: 1 handset %.2f s, %d handsets %.2f s\n", round + 1, one.wallSeconds, slots,
                many.wallSeconds);
  }
  fs::remove_all(dir);
  if (!ok) {
    std::fprintf(stderr, "bench_station: an upgrade or a verification failed\n");
    return 1;
  }
  std::printf("released sizes, answer pacing, %d rounds (medians)\n", rounds);
  std::printf("  1 handset:   %.2f s wall, %.2f s CPU, peak %.0f KiB\n", Median(wallOne), Median(cpuOne),
              Median(peakOne));
  std::printf("  %d handsets:  %.2f s wall, %.2f s CPU, peak %.0f KiB\n", slots, Median(wallMany),
              Median(cpuMany), Median(peakMany));
  std::printf("  wall ratio %.3f (goal: at most 1.25), peak memory ratio %.3f (goal: at most 1.1)\n",
              Median(wallMany) / Median(wallOne), Median(peakMany) / Median(peakOne));
  return 0;
}

struct Sample {
  long fds = 0;
  long threads = 0;
  long rssKiB = 0;
};

Sample Measure(pid_t pid) {
  Sample sample;
  const fs::path proc = "/proc/" + std::to_string(pid);
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(proc / "fd")) ++sample.fds;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(proc / "task")) ++sample.threads;
  std::ifstream status(proc / "status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) sample.rssKiB = std::atol(line.c_str() + 6);
  }
  return sample;
}

int Soak(int handsets) {
  const fs::path dir = fs::temp_directory_path() / ("bench-soak-" + std::to_string(::getpid()));
  const fs::path devices = dir / "devices";
  fs::create_directories(devices);
  fs::path package;
  if (!MakePackage(dir, kSmall, false, &package)) {
    std::fprintf(stderr, "bench_station: cannot make the package\n");
    return 1;
  }
  const pid_t upgrader = SpawnChild({TIDEWELL_BIN, "--station", "--device-dir", devices.string(), "--package",
                                     package.string(), "--pacing", "answer"},
                                    "/dev/null");
  std::vector<Sample> samples;
  bool ok = true;
  for (int n = 1; n <= handsets && ok; ++n) {
    ok = Exited0(SpawnHandset(devices, package, 1, dir / "handset.json"));
    // The upgrader ends the run once the handset has gone.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    samples.push_back(Measure(upgrader));
    std::printf("run %2d: %ld descriptors, %ld threads, %ld KiB resident\n", n, samples.back().fds,
                samples.back().threads, samples.back().rssKiB);
  }
  // SIGINT ends an idle station whose runs all succeeded with status 0.
  ::kill(upgrader, SIGINT);
  ok = Exited0(upgrader) && ok;
  fs::remove_all(dir);
  if (!ok || samples.size() < 6) {
    std::fprintf(stderr, "bench_station: a run failed\n");
    return 1;
  }
  const Sample& fifth = samples[4];
  const Sample& last = samples.back();
  std::printf("growth from run 5 to run %zu: %+ld descriptors, %+ld threads, %+ld KiB resident\n",
              samples.size(), last.fds - fifth.fds, last.threads - fifth.threads, last.rssKiB - fifth.rssKiB);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--soak") {
    return Soak(args.size() > 1 ? std::max(7, std::atoi(args[1].c_str())) : 50);
  }
  const int slots = args.empty() ? 8 : std::clamp(std::atoi(args[0].c_str()), 2, 8);
  const int rounds = args.size() > 1 ? std::max(1, std::atoi(args[1].c_str())) : 3;
  return Parallel(slots, rounds);
}
