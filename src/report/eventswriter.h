// --events: every report of every run as JSON Lines, one object per event,
// each line written whole and flushed. The schema is in docs/events.md.
#pragma once
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "download/runobserver.h"
#include "report/lineoutput.h"
#include "report/runtally.h"

namespace tw {

class CEventsWriter final : public IRunObserver {
 public:
  // The writer does not own out; out must outlive it.
  explicit CEventsWriter(CLineOutput& out);

  void OnDevice(const DeviceReport& device) override;
  void OnRunStarted(int nSlot) override;
  void OnLogLine(int nSlot, const std::string& line) override;
  // Written when the percent or the text changes, not for every block.
  void OnProgress(int nSlot, int nPos, const std::string& text) override;
  void OnStageStarted(int nSlot, const StageInfo& stage) override;
  void OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) override;
  void OnRunEnded(const RunEnd& end) override;

 private:
  CLineOutput& m_out;
  CRunTallies m_tallies;
  std::mutex m_lock;
  std::map<int, std::pair<int, std::string>> m_lastProgress;  // by slot
};

}  // namespace tw
