// The runs a headless station served: when each began and how it ended, for
// the summary lines at the end and the exit status. It hears the runs
// through the reporting seam; calls come from any thread.
#pragma once
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "download/runobserver.h"

namespace tw {

class CStationTally final : public IRunObserver {
 public:
  // onEnded is called after each run's end with the number ended so far,
  // on the thread that reported it. bStrict counts a run that skipped a
  // region as failed.
  CStationTally(bool bStrict, std::function<void(int)> onEnded);

  void OnRunStarted(int nSlot) override;
  void OnRunEnded(const RunEnd& end) override;

  // Whether a run counts as a success: done, and with nothing skipped when
  // strict.
  static bool Succeeded(const RunEnd& end, bool bStrict);

  // One line per run, in the order they ended:
  // "tidewell: run 2: slot 1 at 1-2 on COM8: done in 41.2 s".
  std::vector<std::string> SummaryLines() const;
  // 0 when every run succeeded (also when there was none), else 1.
  int ExitStatus() const;

 private:
  using SteadyClock = std::chrono::steady_clock;
  struct Run {
    RunEnd end;
    double seconds = 0;
  };

  const bool m_bStrict;
  std::function<void(int)> m_onEnded;
  mutable std::mutex m_lock;
  std::map<int, SteadyClock::time_point> m_started;
  std::vector<Run> m_runs;
};

}  // namespace tw
