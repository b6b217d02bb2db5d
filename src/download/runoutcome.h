// How a download stage and a whole run end. A stage hands back a
// StageResult; the run ends with one RunEnd, posted to the owner, which
// frees the run's slot.
#pragma once
#include <string>
#include <vector>

namespace tw {

// How a stage ended.
enum class StageEnd {
  Done,        // its image is stored; the run goes on with the next stage or ends
  HandedOver,  // the handset went into phone mode; the phone stage ends the run
  Failed,      // the run ends as a failure (reason given)
  Stopped,     // the downloader was asked to stop
};

struct StageResult {
  StageEnd end = StageEnd::Done;
  std::string reason;  // why it failed; empty otherwise

  static StageResult Done() { return {}; }
  static StageResult HandedOver() { return {StageEnd::HandedOver, {}}; }
  static StageResult Stopped() { return {StageEnd::Stopped, {}}; }
  static StageResult Failed(std::string why) { return {StageEnd::Failed, std::move(why)}; }
};

// How a run ended, as its end event says.
enum class RunOutcome {
  Done = 0,     // every image stored
  Failed = 1,   // a stage failed: see the reason
  Stopped = 2,  // the run was stopped before it ended
};

// "done", "failed", "stopped".
const char* OutcomeName(RunOutcome outcome);
// "done", "handed_over", "failed", "stopped".
const char* StageEndName(StageEnd end);

// The end event of a run: exactly one per run.
struct RunEnd {
  int nSlot = 0;  // the slot of the downloader that ran it
  RunOutcome outcome = RunOutcome::Done;
  std::string reason;                       // for a failure: what failed
  std::vector<std::string> skippedRegions;  // regions whose erase was refused (NAK_BAD_CRC), in order
  std::string location{};                   // where the handset is plugged in ("1-2.4"); "" when unknown
  int nComPort = 0;                         // the phone side's COM port; 0 when none was opened
};

}  // namespace tw
