// What the reports of each slot's run add up to: when it began, the time
// spent in each stage, the image bytes written, the COM port and where it
// failed. The event and record writers each keep one; calls come from any
// thread.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/runobserver.h"

namespace tw {

struct RunTally {
  std::chrono::steady_clock::time_point started;
  std::chrono::system_clock::time_point startedWall;
  // Milliseconds by stage name; a region's time counts in its phone stage.
  std::map<std::string, std::int64_t> durationsMs;
  // Image bytes written by image: "eboot", "os_image", "phone".
  std::map<std::string, std::uint64_t> bytes;
  int nPort = 0;
  // The stage (and region) whose failure ended the run; empty otherwise.
  std::string failedStage;
  std::string failedRegion;

  struct OpenStage {
    RunStage stage;
    std::chrono::steady_clock::time_point started;
  };
  std::vector<OpenStage> open;  // the stages begun and not yet ended, innermost last
};

class CRunTallies {
 public:
  void RunStarted(int nSlot);
  void StageStarted(int nSlot, const StageInfo& stage);
  // The stage's duration in milliseconds.
  std::int64_t StageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome);
  // The innermost stage running on the slot, if any.
  std::optional<RunStage> CurrentStage(int nSlot) const;
  // The run's tally, taken away: the slot starts afresh.
  RunTally RunEnded(int nSlot);

 private:
  RunTally& Of(int nSlot);  // m_lock held

  mutable std::mutex m_lock;
  std::map<int, RunTally> m_runs;
};

// Whole milliseconds between two points of the steady clock.
std::int64_t ElapsedMs(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to);

// "2025-03-01T12:34:56.789Z": UTC with milliseconds.
std::string UtcTimestamp(std::chrono::system_clock::time_point when);

}  // namespace tw
