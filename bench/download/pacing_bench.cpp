// The phone download's two pacings, one after the other in one run: a whole
// upgrade with the released sizes (1,126,400 + 63,822,351 + 14,524,912
// bytes, all seven regions) against the simulated handset without delays,
// over pseudo-terminals, first with fixed pacing, then with answer pacing.
//
// Reports for each pacing the wall time of the upgrade and of its phone stage
// (from the port's connect to the end of the run), the phone stage's sleeps,
// and its time beyond the kept pauses per phone exchange, set against a bare
// exchange on a pseudo-terminal: paced (the 5 ms sleep between write and read,
// as fixed pacing does; its sleep counted) for fixed pacing, plain for answer
// pacing. The kept pauses are the sleeps of the answer-paced phone stage:
// every pause but the 5 ms one before an answer is read.
//
// Goals: answer_phone_ratio, the answer-paced phone stage against
// (exchanges x bare exchange + kept pauses), at most 1.3; speedup, the fixed
// upgrade's wall time over the answer-paced one's, at least 2.5.
//
// Run it pinned to one core: `taskset -c 1 bench_pacing`, and take medians
// with --benchmark_repetitions=N. On a virtual machine a write that wakes a
// reader on another, idle virtual CPU costs a swinging amount that would swamp
// the phone side's figures.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench/download/upgraderig.h"

namespace tw::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kBareExchanges = 5000;
constexpr int kPacedExchanges = 500;
constexpr std::uint32_t kAnswerPauseMs = 5;  // the pause that answer pacing replaces

void BM_Pacing(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / ("tidewell-bench-pacing-" + std::to_string(getpid()));
  std::string error;
  const std::string package = MakeReleasedPackage(dir.string(), &error);
  if (package.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }

  for (auto _ : state) {
    const double bareBeforeUs = BarePtyRoundTripUs(kBareExchanges, 0);
    const double pacedBeforeUs = BarePtyRoundTripUs(kPacedExchanges, kAnswerPauseMs);
    const UpgradeFigures fixed = RunUpgrade((dir / "fixed").string(), package, PhonePacing::Fixed);
    const UpgradeFigures answer = RunUpgrade((dir / "answer").string(), package, PhonePacing::Answer);
    if (!fixed.bDone || !answer.bDone) {
      state.SkipWithError("an upgrade did not finish");
      break;
    }
    // The bare exchanges before and after the upgrades: the machine's load moves them.
    const double bareUs = (bareBeforeUs + BarePtyRoundTripUs(kBareExchanges, 0)) / 2;
    const double pacedUs =
        (pacedBeforeUs + BarePtyRoundTripUs(kPacedExchanges, kAnswerPauseMs)) / 2 + kAnswerPauseMs * 1e3;

    const double keptS = answer.phoneSleptS;
    state.counters["fixed_wall_s"] = fixed.wallS;
    state.counters["answer_wall_s"] = answer.wallS;
    state.counters["speedup"] = fixed.wallS / answer.wallS;  // goal: >= 2.5
    state.counters["fixed_phone_s"] = fixed.phoneWallS;
    state.counters["answer_phone_s"] = answer.phoneWallS;
    state.counters["fixed_phone_sleeps_s"] = fixed.phoneSleptS;
    state.counters["kept_pauses_s"] = keptS;
    state.counters["phone_exchanges"] = answer.phoneTrips;
    state.counters["bare_trip_us"] = bareUs;
    state.counters["paced_trip_us"] = pacedUs;
    state.counters["fixed_phone_beyond_kept_per_exchange_us"] =
        (fixed.phoneWallS - keptS) * 1e6 / fixed.phoneTrips;
    state.counters["answer_phone_beyond_kept_per_exchange_us"] =
        (answer.phoneWallS - keptS) * 1e6 / answer.phoneTrips;
    state.counters["answer_phone_ratio"] =
        answer.phoneWallS / (answer.phoneTrips * bareUs / 1e6 + keptS);  // goal: <= 1.3
    state.counters["same_exchanges"] = fixed.phoneTrips == answer.phoneTrips && fixed.trips == answer.trips;
    state.counters["sim_verified"] = fixed.bVerified && answer.bVerified ? 1 : 0;
  }
  fs::remove_all(dir);
}

BENCHMARK(BM_Pacing)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tw::bench

BENCHMARK_MAIN();
