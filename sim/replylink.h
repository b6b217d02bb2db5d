// Sends the handset's replies to the host, with the reply faults applied:
// a delay before each reply, and replies cut into pieces of random sizes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <stop_token>

#include "platform/clock.h"
#include "sim/simconfig.h"
#include "sim/simport.h"

namespace tw::sim {

class ReplyLink {
 public:
  ReplyLink(ISimPort& port, IClock& clock, const SimFaults& faults, std::stop_token stop);

  // Sends one reply; false when the host's end is gone.
  bool Send(std::span<const std::uint8_t> reply);

 private:
  ISimPort& m_port;
  IClock& m_clock;
  const SimFaults& m_faults;
  std::stop_token m_stop;
  std::mt19937 m_random;
};

}  // namespace tw::sim
