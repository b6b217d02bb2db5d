// What the whole-upgrade benchmarks share: a whole upgrade of a package
// against the simulated handset (the child process tidewell-sim, without
// delays) over pseudo-terminals, timed and counted by stage, and a bare
// exchange on a pseudo-terminal to set the figures against.
#pragma once
#include <cstdint>
#include <string>

#include "download/phonepacing.h"

namespace tw::bench {

// One whole upgrade, measured.
struct UpgradeFigures {
  bool bDone = false;      // the run ended with WM_DOWNLOAD_DONE
  bool bVerified = false;  // the handset verified every image and region
  double wallS = 0;        // from the connect to the end of the run
  double sleptS = 0;       // the upgrader's sleeps within it
  double trips = 0;        // the host's writes: each awaits an answer, but a handful
  // The PDA side: from the connect until the handset is sent into phone mode.
  double pdaWallS = 0;
  double pdaSleptS = 0;
  double pdaTrips = 0;
  // The phone stage: from the port's connect to the end of the run.
  double phoneWallS = 0;
  double phoneSleptS = 0;
  double phoneTrips = 0;
};

// Makes the directory dir with a generated package of the released sizes in
// it and returns the package's path; empty, with the reason in *error, when
// that fails.
std::string MakeReleasedPackage(const std::string& dir, std::string* error);

// Runs one whole upgrade of the package (made by MakeReleasedPackage) in
// dir, whose device directory dir/dev it creates; the handset's summary goes
// to dir/summary.json.
UpgradeFigures RunUpgrade(const std::string& dir, const std::string& package, PhonePacing pacing);

// One bare exchange on a raw pseudo-terminal: 1024 bytes out, a 5-byte answer
// back, as a block and its acknowledgement, answered by a child process as
// the simulated handset is. With pauseMs, each write is followed by that
// sleep before the answer is read. Returns microseconds per exchange beyond
// the sleeps.
double BarePtyRoundTripUs(int exchanges, std::uint32_t pauseMs);

}  // namespace tw::bench
