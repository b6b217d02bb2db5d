// How long the simulated handset takes to answer one record, measured from
// the host's write to the host's read of the answer, over the in-process
// channel with no delays configured. Reports the median per answer.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "download/phoneparams.h"
#include "pda/pdacommands.h"
#include "platform/clock.h"
#include "sim/inprocchannel.h"
#include "sim/simhandset.h"
#include "tests/sim/scriptedhost.h"
#include "tests/sim/scriptedrun.h"

namespace tw::sim {
namespace {

using test::Bytes;
using SteadyClock = std::chrono::steady_clock;

// Room for this many records or blocks in one run.
constexpr std::uint32_t kMaxAnswers = 40000;

// Times each write of message until answered() sees its answer, and reports
// the median round trip in microseconds.
void MeasureAnswers(benchmark::State& state, test::ScriptedHost& host, const Bytes& message,
                    const std::function<bool()>& answered) {
  std::vector<double> micros;
  micros.reserve(kMaxAnswers);
  for (auto _ : state) {
    auto start = SteadyClock::now();
    host.Send(message);
    if (!answered()) {
      state.SkipWithError("no answer");
      return;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - start).count());
  }
  std::nth_element(micros.begin(), micros.begin() + micros.size() / 2, micros.end());
  state.counters["median_us"] = micros.empty() ? 0 : micros[micros.size() / 2];
}

// The host's EBOOT data record, acknowledged by the PDA agent.
void BM_EbootRecordAnswer(benchmark::State& state) {
  InProcChannel channel;
  VirtualClock clock;
  SimHandset handset(SimConfig{}, channel, clock);
  handset.Start();
  test::ScriptedHost host(channel.Provider());
  test::ConnectPda(host);
  std::uint32_t size = kMaxAnswers * kDataPacketDataSize;
  host.Send(test::Command(PDA_CMD_EBOOT_INFO, size));
  host.ReadUpTo(kPdaReplySize);
  host.Send(test::Command(PDA_CMD_POLL, size));
  host.ReadUpTo(kPdaReplySize);
  Bytes image = test::Pattern(kDataPacketDataSize, 61);
  image.resize(size);
  MeasureAnswers(state, host, test::EbootRecord(image, 0),
                 [&] { return !host.ReadUpTo(kPdaReplySize).empty(); });
}
BENCHMARK(BM_EbootRecordAnswer)->Iterations(kMaxAnswers - 1)->UseRealTime();

// A raw 1 KiB phone block, acknowledged by the modem monitor.
void BM_PhoneBlockAnswer(benchmark::State& state) {
  InProcChannel channel;
  VirtualClock clock;
  SimHandset handset(SimConfig{}, channel, clock);
  handset.Start();
  test::ScriptedHost host(channel.Provider());
  test::ScriptedHost modem(channel.Provider());
  test::EnterPhoneMode(host, modem);
  for (const Bytes& frame : {test::JumpFrame(), test::JumpFrame(), test::JumpFrame(),
                             test::EraseFrame(0x380000, kMaxAnswers * kPhoneBlockSize)}) {
    modem.Send(frame);
    modem.ReadAnswer();
  }
  MeasureAnswers(state, modem, test::Pattern(kPhoneBlockSize, 62),
                 [&] { return modem.ReadAnswer().has_value(); });
}
BENCHMARK(BM_PhoneBlockAnswer)->Iterations(kMaxAnswers - 1)->UseRealTime();

}  // namespace
}  // namespace tw::sim

BENCHMARK_MAIN();
