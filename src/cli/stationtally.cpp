#include "cli/stationtally.h"

#include <cstdio>

namespace tw {

CStationTally::CStationTally(bool bStrict, std::function<void(int)> onEnded)
    : m_bStrict(bStrict), m_onEnded(std::move(onEnded)) {}

void CStationTally::OnRunStarted(int nSlot) {
  std::lock_guard guard(m_lock);
  m_started[nSlot] = SteadyClock::now();
}

void CStationTally::OnRunEnded(const RunEnd& end) {
  int nEnded = 0;
  {
    std::lock_guard guard(m_lock);
    Run run{end, 0};
    if (const auto started = m_started.find(end.nSlot); started != m_started.end()) {
      run.seconds = std::chrono::duration<double>(SteadyClock::now() - started->second).count();
      m_started.erase(started);
    }
    m_runs.push_back(std::move(run));
    nEnded = static_cast<int>(m_runs.size());
  }
  if (m_onEnded) m_onEnded(nEnded);
}

bool CStationTally::Succeeded(const RunEnd& end, bool bStrict) {
  return end.outcome == RunOutcome::Done && (!bStrict || end.skippedRegions.empty());
}

std::vector<std::string> CStationTally::SummaryLines() const {
  std::lock_guard guard(m_lock);
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < m_runs.size(); ++i) {
    const Run& run = m_runs[i];
    const RunEnd& end = run.end;
    std::string line = "tidewell: run " + std::to_string(i + 1) + ": slot " + std::to_string(end.nSlot);
    line += end.location.empty() ? " at an unknown location" : " at " + end.location;
    line += end.nComPort == 0 ? " without a COM port" : " on COM" + std::to_string(end.nComPort);
    line += std::string(": ") + OutcomeName(end.outcome);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " in %.1f s", run.seconds);
    line += seconds;
    if (!end.skippedRegions.empty()) {
      line += ", skipped";
      for (const std::string& region : end.skippedRegions) line += " " + region;
      if (m_bStrict) line += " (a failure with --strict)";
    }
    if (!end.reason.empty()) line += " (" + end.reason + ")";
    lines.push_back(std::move(line));
  }
  return lines;
}

int CStationTally::ExitStatus() const {
  std::lock_guard guard(m_lock);
  for (const Run& run : m_runs) {
    if (!Succeeded(run.end, m_bStrict)) return 1;
  }
  return 0;
}

}  // namespace tw
