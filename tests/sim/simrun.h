// A simulated handset on the in-process channel with a virtual clock.
#pragma once
#include <memory>

#include "platform/clock.h"
#include "sim/inprocchannel.h"
#include "sim/simhandset.h"

namespace tw::sim::test {

inline constexpr int kEndWaitMs = 10000;

struct SimRun {
  explicit SimRun(const SimConfig& config) : handset(config, channel, clock) {}
  // Waits for the run's end, then stops it if it has not ended.
  SimSummary End(int waitMs = kEndWaitMs) {
    handset.WaitEnd(waitMs);
    handset.Stop();
    return handset.Summary();
  }

  InProcChannel channel;
  VirtualClock clock;
  SimHandset handset;
};

}  // namespace tw::sim::test
