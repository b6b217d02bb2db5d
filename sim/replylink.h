// Sends the handset's replies to the host, with the reply faults applied:
// a delay before each reply, and replies cut into pieces of random sizes;
// on the modem's side also answers cut into even pieces.
#pragma once
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <stop_token>

#include "platform/clock.h"
#include "sim/simconfig.h"
#include "sim/simport.h"
#include "sim/simsummary.h"

namespace tw::sim {

class ReplyLink {
 public:
  // Which side the link serves: the PDA download agent or the modem.
  enum class Side { Pda, Modem };

  // Faults that fire are recorded once, with the reply count they began at.
  ReplyLink(ISimPort& port, IClock& clock, const SimFaults& faults, SimRecorder& recorder,
            std::stop_token stop, Side side = Side::Pda);

  // Sends one reply, holdMs after the reply delay; false when the host's end is gone.
  bool Send(std::span<const std::uint8_t> reply, std::uint32_t holdMs = 0);

 private:
  bool SendPieces(std::span<const std::uint8_t> reply);
  bool SendEvenPieces(std::span<const std::uint8_t> reply, std::uint32_t pieces);
  bool SendRandomPieces(std::span<const std::uint8_t> reply);
  void Gap(std::uint32_t ms);

  ISimPort& m_port;
  IClock& m_clock;
  const SimFaults& m_faults;
  SimRecorder& m_recorder;
  std::stop_token m_stop;
  Side m_side;
  std::mt19937 m_random;
  std::uint64_t m_replies = 0;
};

}  // namespace tw::sim
