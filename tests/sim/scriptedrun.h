// A whole upgrade as a scripted host plays it against the simulated handset
// (PDA side, then the modem port), collecting what the handset answered.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "tests/sim/scriptedhost.h"

namespace tw::sim::test {

struct PlanRegion {
  std::uint32_t start = 0;
  std::uint32_t length = 0;
  bool efs = false;  // a jump and an EFS command, nothing written
};

struct RunPlan {
  Bytes eboot;
  Bytes os;
  bool phone = true;
  int com = 7;
  Bytes phoneImage;
  std::vector<PlanRegion> regions;
  int answerWaitMs = 1000;  // how long the host waits for each answer
};

struct Observed {
  Bytes hello;
  std::vector<bool> ebootAcks;  // per data record
  std::vector<std::uint8_t> ebootEndReplies;
  std::vector<std::size_t> requestReads;  // byte counts of the request reads
  std::vector<std::uint32_t> requests;    // counts of the full requests
  std::vector<bool> osAcks;               // per packet
  std::vector<std::uint8_t> osEndReplies;
  std::optional<std::uint8_t> handoverReply;
  bool pdaGone = false;
  std::vector<std::optional<std::uint8_t>> openingAnswers;
  std::vector<std::optional<std::uint8_t>> jumpAnswers;  // every jump attempt of the regions
  std::vector<std::optional<std::uint8_t>> eraseAnswers;
  std::vector<bool> blockAnswers;  // per block: acknowledged
  bool phoneGone = false;
};

// Opens the PDA side, takes the hello and answers it (commands 16 and 27);
// false when the hello did not come.
bool ConnectPda(ScriptedHost& host);
// A phone-only run up to the open COM port: connects the PDA side, sends
// PDA_CMD_PHONE_MODE and opens COM<com> on modem.
bool EnterPhoneMode(ScriptedHost& host, ScriptedHost& modem, int com = 7);

// Plays the plan through the provider; the handset must already be started.
Observed PlayRun(IDeviceProvider& provider, const RunPlan& plan);

// The plan the fault table uses: EBOOT of 2500 bytes, OS of 5000 bytes, an
// EFS region and two written regions of a 6000-byte phone image.
RunPlan SmallPlan();

// n bytes of a fixed pseudo-random pattern.
Bytes Pattern(std::size_t n, std::uint32_t seed);

}  // namespace tw::sim::test
