#include "ui/slotrun.h"

#include <cstdio>

namespace tw {

void CSlotRun::Start(std::uint32_t tick) {
  *this = CSlotRun();
  m_bStarted = true;
  m_bOpen = true;
  m_startTick = tick;
  m_strStage.clear();
}

void CSlotRun::StageStarted(const StageInfo& stage) {
  m_strStage = StageDisplayName(stage);
  if (stage.nPort != 0) m_nComPort = stage.nPort;
  // A run that goes on past its handshake (or that began with the COM port) has its handset.
  if (stage.stage != RunStage::Hello) m_bConnected = true;
}

void CSlotRun::StageEnded(const StageInfo& stage, const StageOutcome& outcome) {
  if (stage.stage == RunStage::Hello && outcome.result.end == StageEnd::Done) m_bConnected = true;
}

void CSlotRun::End(const RunEnd& end, std::uint32_t tick) {
  m_bOpen = false;
  m_endTick = tick;
  m_outcome = end.outcome;
  if (!end.location.empty()) m_strLocation = end.location;
  if (end.nComPort != 0) m_nComPort = end.nComPort;
  m_strDetail = end.reason;
  if (!end.skippedRegions.empty()) {
    std::string skipped = "skipped (erase refused):";
    for (const std::string& region : end.skippedRegions) skipped += " " + region;
    m_strDetail += (m_strDetail.empty() ? "" : "\n") + skipped;
  }
}

void CSlotRun::LearnLocation(const std::string& location) {
  if (m_bOpen && m_bConnected && !location.empty()) m_strLocation = location;
}

std::string CSlotRun::ComPortText() const {
  return m_nComPort != 0 ? "COM" + std::to_string(m_nComPort) : std::string();
}

std::string CSlotRun::OutcomeText() const {
  return m_outcome ? OutcomeName(*m_outcome) : "";
}

std::string CSlotRun::ElapsedText(std::uint32_t now) const {
  if (!m_bStarted) return {};
  return FormatElapsed((m_bOpen ? now : m_endTick) - m_startTick);
}

std::string StageDisplayName(const StageInfo& stage) {
  switch (stage.stage) {
    case RunStage::Hello:
      return "hello";
    case RunStage::Eboot:
      return "EBOOT";
    case RunStage::OsImage:
      return "OS image";
    case RunStage::PhoneMode:
      return "phone mode";
    case RunStage::PortOpening:
      return "port opening";
    case RunStage::Phone:
      return "phone";
    case RunStage::Region:
      return stage.region;
  }
  return {};
}

std::string FormatElapsed(std::uint32_t ms) {
  const std::uint32_t seconds = ms / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
  }
  return text;
}

}  // namespace tw
