#include "cli/headlessview.h"

#include <algorithm>

#include "cli/stationtally.h"

namespace tw {

namespace {

constexpr const char* kNoImageText = "Select an image to download";
constexpr const char* kNotOpenText = "Not Open File";
constexpr int kBarWidth = 30;

// "\r\n" ends a log line; on a terminal or in a file that is "\n".
std::string UnixLineEnds(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      continue;
    }
    out += text[i];
  }
  return out;
}

// The box shows the whole log each time: what a text adds to what was shown.
// A text that does not continue what was shown is a new log (after a reset).
std::string TakeAdded(std::string& shown, const std::string& text) {
  std::string added = text.compare(0, shown.size(), shown) == 0 && text.size() >= shown.size()
                          ? text.substr(shown.size())
                          : text;
  shown = text;
  return added;
}

}  // namespace

CHeadlessView::CHeadlessView(CMessageLoop& loop, std::FILE* out, std::FILE* err, bool bLiveBar,
                             HeadlessPolicy policy)
    : m_loop(loop), m_out(out), m_err(err), m_bLiveBar(bLiveBar), m_policy(policy) {
  for (int i = 0; i < static_cast<int>(m_slots.size()); ++i) {
    m_slots[static_cast<std::size_t>(i)].Attach(this, i);
  }
}

ILogSink* CHeadlessView::SlotLog(int nSlot) {
  if (m_policy.nSlots == 1) return nSlot == 0 ? this : nullptr;
  return nSlot >= 0 && nSlot < m_policy.nSlots ? &m_slots[static_cast<std::size_t>(nSlot)] : nullptr;
}

IProgressSink* CHeadlessView::SlotProgress(int nSlot) {
  if (m_policy.nSlots == 1) return nSlot == 0 ? this : nullptr;
  return nSlot >= 0 && nSlot < m_policy.nSlots ? &m_slots[static_cast<std::size_t>(nSlot)] : nullptr;
}

void CHeadlessView::StationNote(const std::string& line) {
  std::lock_guard guard(m_lock);
  WriteLog("", "[station] " + line + "\n");
}

void CHeadlessView::EnableStart(BOOL bEnable) {
  // Start is pressed as soon as it is enabled, once the handler that
  // enabled it has returned.
  if (bEnable && m_press) {
    m_loop.Post(m_press);
  }
}

void CHeadlessView::MessageBox(const std::string& text, const std::string& caption, MessageIcon) {
  {
    std::lock_guard guard(m_lock);
    EndBarLine();
    std::fprintf(m_err, "%s: %s%s", caption.c_str(), text.c_str(),
                 !text.empty() && text.back() == '\n' ? "" : "\n");
    std::fflush(m_err);
  }
  // Start's answers when there is nothing it can download.
  if (text == kNoImageText || text == kNotOpenText) {
    m_loop.Quit(kExitUsage);
  }
}

void CHeadlessView::EndDialog(int /*nResult*/) {
  m_loop.Quit(kExitRunFailed);
}

void CHeadlessView::DownloadDone(const RunEnd& end) {
  if (m_policy.bStation) return;
  if (!CStationTally::Succeeded(end, m_policy.bStrict)) m_nStatus = kExitRunFailed;
  if (++m_nRunsDone >= m_policy.nSlots) m_loop.Quit(m_nStatus);
}

void CHeadlessView::SetLogText(const std::string& text) {
  std::lock_guard guard(m_lock);
  WriteLog("", TakeAdded(m_strLogShown, text));
}

// Each line of the added text, with the slot's prefix before it.
void CHeadlessView::WriteLog(const std::string& prefix, const std::string& added) {
  if (added.empty()) return;
  EndBarLine();
  const std::string text = UnixLineEnds(added);
  std::string out;
  for (std::size_t begin = 0; begin < text.size();) {
    const std::size_t end = std::min(text.find('\n', begin), text.size() - 1) + 1;
    out += prefix + text.substr(begin, end - begin);
    begin = end;
  }
  std::fputs(out.c_str(), m_out);
  std::fflush(m_out);
}

// Whole lines only, so that the slots' lines never mix on one line; the
// rest waits for its line end (or the end of the run's output).
void CHeadlessView::CSlotSinks::SetLogText(const std::string& text) {
  std::lock_guard guard(m_pView->m_lock);
  m_strPending += TakeAdded(m_strLogShown, text);
  const std::size_t end = m_strPending.rfind('\n');
  if (end == std::string::npos) return;
  m_pView->WriteLog(Prefix(), m_strPending.substr(0, end + 1));
  m_strPending.erase(0, end + 1);
}

std::string CHeadlessView::CSlotSinks::Prefix() const {
  return "[slot " + std::to_string(m_nSlot) + "] ";
}

void CHeadlessView::CSlotSinks::SetText(const std::string& text) {
  std::lock_guard guard(m_pView->m_lock);
  m_strText = text;
}

void CHeadlessView::CSlotSinks::SetPos(int pos) {
  std::lock_guard guard(m_pView->m_lock);
  m_nPos = pos;
  m_pView->DrawSlotProgress(*this);
}

void CHeadlessView::SetText(const std::string& text) {
  std::lock_guard guard(m_lock);
  m_strText = text;
}

void CHeadlessView::SetPos(int pos) {
  std::lock_guard guard(m_lock);
  m_nPos = pos;
  DrawProgress();
}

void CHeadlessView::OnConsoleText(int /*nSlot*/, const std::string& text) {
  std::lock_guard guard(m_lock);
  EndBarLine();
  std::fputs(text.c_str(), m_err);
  std::fflush(m_err);
}

void CHeadlessView::OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) {
  if (outcome.result.end != StageEnd::Failed) return;
  std::lock_guard guard(m_lock);
  std::string where = stage.stage == RunStage::Region ? "region " + stage.region : RunStageName(stage.stage);
  m_failedWhere.try_emplace(nSlot, std::move(where));
}

// "tidewell: slot 0 failed in region CODE: CODE block 29 of 192 not acknowledged".
void CHeadlessView::OnRunEnded(const RunEnd& end) {
  std::lock_guard guard(m_lock);
  const auto where = m_failedWhere.find(end.nSlot);
  if (end.outcome == RunOutcome::Failed) {
    EndBarLine();
    std::fprintf(m_err, "tidewell: slot %d failed%s%s: %s\n", end.nSlot,
                 where != m_failedWhere.end() ? " in " : "",
                 where != m_failedWhere.end() ? where->second.c_str() : "", end.reason.c_str());
    std::fflush(m_err);
  }
  if (where != m_failedWhere.end()) m_failedWhere.erase(where);
}

std::string CHeadlessView::LastProgressText() const {
  std::lock_guard guard(m_lock);
  return m_strText;
}

void CHeadlessView::FinishProgress() {
  std::lock_guard guard(m_lock);
  EndBarLine();
  std::fflush(m_err);
  for (CSlotSinks& slot : m_slots) {
    if (!slot.m_strPending.empty()) WriteLog(slot.Prefix(), slot.m_strPending + "\n");
    slot.m_strPending.clear();
  }
}

// A live bar's line is ended before anything else is written to err.
void CHeadlessView::EndBarLine() {
  if (m_bBarOpen) {
    std::fputc('\n', m_err);
    m_bBarOpen = false;
  }
}

// With several slots: one live line with every armed slot's percentage, or
// a line per change that names its slot.
void CHeadlessView::DrawSlotProgress(CSlotSinks& slot) {
  std::pair<std::string, int> now{slot.m_strText, slot.m_nPos};
  if (slot.m_lastDrawn == now) {
    return;
  }
  slot.m_lastDrawn = now;
  if (m_bLiveBar) {
    std::string line;
    for (int i = 0; i < m_policy.nSlots; ++i) {
      char part[32];
      std::snprintf(part, sizeof part, "%s[%d] %3d%%", i == 0 ? "" : "  ", i,
                    m_slots[static_cast<std::size_t>(i)].m_nPos);
      line += part;
    }
    std::fprintf(m_err, "\r\x1b[K%s", line.c_str());
    m_bBarOpen = true;
  } else {
    std::fprintf(m_err, "[slot %d] progress %3d%% %s\n", slot.m_nSlot, slot.m_nPos, slot.m_strText.c_str());
  }
  std::fflush(m_err);
}

// The bar's text comes first and its position after it: a change is drawn
// once the pair differs from what was drawn last.
void CHeadlessView::DrawProgress() {
  std::pair<std::string, int> now{m_strText, m_nPos};
  if (m_lastDrawn == now) {
    return;
  }
  m_lastDrawn = now;
  if (m_bLiveBar) {
    int filled = std::clamp(m_nPos, 0, 100) * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(m_err, "\r\x1b[K[%s] %3d%% %s", bar.c_str(), m_nPos, m_strText.c_str());
    m_bBarOpen = true;
  } else {
    std::fprintf(m_err, "progress %3d%% %s\n", m_nPos, m_strText.c_str());
  }
  std::fflush(m_err);
}

}  // namespace tw
