// A slot's current or last run as its row in the window shows it: where the
// handset is plugged in, its COM port, the stage it is in, how the run ended
// and how long it took. Filled from the run's reports on the UI thread; the
// times are tick counts of the clock the runs use.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "download/runobserver.h"
#include "download/runoutcome.h"

namespace tw {

class CSlotRun {
 public:
  // A run begins: what the last one showed goes.
  void Start(std::uint32_t tick);
  void StageStarted(const StageInfo& stage);
  void StageEnded(const StageInfo& stage, const StageOutcome& outcome);
  // The run's end event.
  void End(const RunEnd& end, std::uint32_t tick);
  // The handset's location as the slot's connect learnt it. Taken only once
  // the run's handshake has passed: until then it is the last handset's.
  void LearnLocation(const std::string& location);

  bool Open() const { return m_bOpen; }
  // "idle" before the first run; the stage last begun ("hello", "EBOOT",
  // "OS image", "phone mode", "port opening", "phone", or a region's name).
  const std::string& StageText() const { return m_strStage; }
  const std::string& LocationText() const { return m_strLocation; }
  // "COM9"; empty before the run has a COM port.
  std::string ComPortText() const;
  // "done", "failed" or "stopped" once the run ended; empty before.
  std::string OutcomeText() const;
  std::optional<RunOutcome> Outcome() const { return m_outcome; }
  // The failure's reason and the regions whose erase was refused.
  const std::string& OutcomeDetail() const { return m_strDetail; }
  // The run's time so far (open) or in all, as "m:ss" ("h:mm:ss" from an
  // hour on); empty before the first run.
  std::string ElapsedText(std::uint32_t now) const;

 private:
  bool m_bStarted = false;
  bool m_bOpen = false;
  bool m_bConnected = false;
  std::string m_strStage = "idle";
  std::string m_strLocation;
  int m_nComPort = 0;
  std::optional<RunOutcome> m_outcome;
  std::string m_strDetail;
  std::uint32_t m_startTick = 0;
  std::uint32_t m_endTick = 0;
};

// The name a stage has in the window's rows.
std::string StageDisplayName(const StageInfo& stage);

// Milliseconds as "m:ss", or "h:mm:ss" from an hour on.
std::string FormatElapsed(std::uint32_t ms);

}  // namespace tw
