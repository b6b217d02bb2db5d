// A whole upgrade with the released sizes (1,126,400 + 63,822,351 +
// 14,524,912 bytes, all seven regions) against the simulated handset, run as
// the child process tidewell-sim without delays, over pseudo-terminals.
//
// Reports the wall time of the run, the part the upgrader's mandated sleeps
// account for, the rest per round trip next to a bare pseudo-terminal
// exchange measured in the same run, and the peak memory against the image
// bytes.
//
// Two bare exchanges are measured. The plain one runs back to back, as the
// PDA side's packets and acknowledgements do. The paced one sleeps the phone
// block's mandated 5 ms between its write and its read, as every phone
// exchange does. trip_ratio (the goal: at most 1.5) compares the rest with
// plain exchanges only; paced_trip_ratio compares it with plain exchanges
// for the PDA side's round trips and paced ones for the phone side's.
//
// Run it pinned to one core: `taskset -c 1 bench_download_upgrade`. On a
// virtual machine, a write that wakes a reader on another, idle virtual CPU
// can cost from 10 to 580 us depending on the moment (a bare paced exchange
// shows the same swing), which would swamp the phone side's figures.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench/download/upgraderig.h"

namespace tw::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kBareExchanges = 5000;
constexpr int kPacedExchanges = 500;
constexpr std::uint32_t kPhonePauseMs = 5;  // the data block's pause before its answer is read

void BM_WholeUpgrade(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / ("tidewell-bench-" + std::to_string(getpid()));
  std::string error;
  const std::string package = MakeReleasedPackage(dir.string(), &error);
  if (package.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  const double bareBeforeUs = BarePtyRoundTripUs(kBareExchanges, 0);
  const double pacedBeforeUs = BarePtyRoundTripUs(kPacedExchanges, kPhonePauseMs);

  for (auto _ : state) {
    const UpgradeFigures run = RunUpgrade(dir.string(), package, PhonePacing::Fixed);
    if (!run.bDone) {
      state.SkipWithError("the upgrade did not finish");
      break;
    }

    // The bare exchange before and after the upgrade: the machine's load moves it.
    const double bareAfterUs = BarePtyRoundTripUs(kBareExchanges, 0);
    const double pacedAfterUs = BarePtyRoundTripUs(kPacedExchanges, kPhonePauseMs);
    const double bareUs = (bareBeforeUs + bareAfterUs) / 2;
    const double pacedUs = (pacedBeforeUs + pacedAfterUs) / 2;
    const double restPerTripUs = (run.wallS - run.sleptS) * 1e6 / run.trips;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double imageBytes = 1126400.0 + 63822351.0 + 14524912.0;
    state.counters["wall_s"] = run.wallS;
    state.counters["sleeps_s"] = run.sleptS;
    state.counters["round_trips"] = run.trips;
    state.counters["rest_per_trip_us"] = restPerTripUs;
    state.counters["bare_trip_us"] = bareUs;
    state.counters["bare_before_us"] = bareBeforeUs;
    state.counters["bare_after_us"] = bareAfterUs;
    state.counters["trip_ratio"] = restPerTripUs / bareUs;  // goal: <= 1.5
    state.counters["paced_trip_us"] = pacedUs;
    state.counters["paced_before_us"] = pacedBeforeUs;
    state.counters["paced_after_us"] = pacedAfterUs;
    const double restS = run.wallS - run.sleptS;
    const double phoneTrips = run.trips - run.pdaTrips;
    state.counters["paced_trip_ratio"] = restS * 1e6 / (run.pdaTrips * bareUs + phoneTrips * pacedUs);
    state.counters["pda_rest_per_trip_us"] = (run.pdaWallS - run.pdaSleptS) * 1e6 / run.pdaTrips;
    state.counters["phone_rest_per_trip_us"] =
        (run.wallS - run.pdaWallS - (run.sleptS - run.pdaSleptS)) * 1e6 / phoneTrips;
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["memory_ratio"] =
        static_cast<double>(usage.ru_maxrss) * 1024.0 / imageBytes;  // goal: <= 1.2
    state.counters["sim_verified"] = run.bVerified ? 1 : 0;
  }
  fs::remove_all(dir);
}

BENCHMARK(BM_WholeUpgrade)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tw::bench

BENCHMARK_MAIN();
