#include "ui/slotboard.h"

#include <QPlainTextEdit>
#include <algorithm>

#include "ui/slotrow.h"
#include "ui/textprogressctrl.h"

namespace tw {

namespace {

constexpr std::chrono::seconds kElapsedRefresh(1);

}  // namespace

CSlotBoard::CSlotBoard(int nSlots, QPlainTextEdit& logBox, CTextProgressCtrl& bar,
                       std::chrono::milliseconds frame)
    : m_logBox(logBox),
      m_bar(bar),
      m_slots(static_cast<std::size_t>(nSlots)),
      m_logs(nSlots),
      m_pClock(&DefaultClock()),
      m_observer(*this, DefaultClock()) {
  for (int i = 0; i < nSlots; ++i) {
    Slot& slot = m_slots[static_cast<std::size_t>(i)];
    slot.pLog =
        std::make_unique<QueuedLogSink>([this, i](const std::string& log) { ShowLog(i, log); }, frame);
    slot.pProgress = std::make_unique<QueuedProgressSink>(
        [this, i](const ProgressReport& report) { ShowProgressReport(i, report); }, frame);
  }
  m_elapsedTimer.setInterval(kElapsedRefresh);
  QObject::connect(&m_elapsedTimer, &QTimer::timeout, &m_elapsedTimer, [this] {
    for (int i = 0; i < SlotCount(); ++i) {
      if (m_slots[static_cast<std::size_t>(i)].run.Open()) ShowRow(i);
    }
  });
}

CSlotBoard::~CSlotBoard() = default;

void CSlotBoard::AttachRows(const std::vector<CSlotRow*>& rows) {
  const std::size_t count = std::min(rows.size(), m_slots.size());
  for (std::size_t i = 0; i < count; ++i) {
    m_slots[i].pRow = rows[i];
    QObject::connect(rows[i], &CSlotRow::clicked, rows[i], [this](int nSlot) { Choose(nSlot); });
    ShowRow(static_cast<int>(i));
  }
  if (count > 0) m_slots[static_cast<std::size_t>(m_nChosen)].pRow->SetChosen(true);
}

CSlotRow* CSlotBoard::Row(int nSlot) const {
  return Valid(nSlot) ? m_slots[static_cast<std::size_t>(nSlot)].pRow : nullptr;
}

ILogSink* CSlotBoard::Log(int nSlot) {
  return Valid(nSlot) ? m_slots[static_cast<std::size_t>(nSlot)].pLog.get() : nullptr;
}

IProgressSink* CSlotBoard::Progress(int nSlot) {
  return Valid(nSlot) ? m_slots[static_cast<std::size_t>(nSlot)].pProgress.get() : nullptr;
}

bool CSlotBoard::Idle() {
  return std::all_of(m_slots.begin(), m_slots.end(),
                     [](Slot& slot) { return slot.pLog->Idle() && slot.pProgress->Idle(); });
}

void CSlotBoard::SetClock(IClock& clock) {
  m_pClock = &clock;
  m_observer.SetClock(clock);
}

void CSlotBoard::SetLocationSource(std::function<std::string(int nSlot)> locationOf) {
  m_locationOf = std::move(locationOf);
}

void CSlotBoard::Note(const std::string& line) {
  m_logs.AddNote(line);
  ShowLogChange(m_logBox, true, CSlotLogs::NoteLine(line));
}

void CSlotBoard::Refresh() {
  for (int i = 0; i < SlotCount(); ++i) ShowRow(i);
}

void CSlotBoard::Choose(int nSlot) {
  if (!Valid(nSlot)) return;
  if (Slot& old = m_slots[static_cast<std::size_t>(m_nChosen)]; old.pRow != nullptr)
    old.pRow->SetChosen(false);
  m_nChosen = nSlot;
  Slot& slot = m_slots[static_cast<std::size_t>(nSlot)];
  if (slot.pRow != nullptr) slot.pRow->SetChosen(true);
  ShowLogChange(m_logBox, false, m_logs.Text(nSlot));
  ShowProgress(m_bar, ProgressReport{slot.strProgress, slot.nProgress});
}

void CSlotBoard::ShowLog(int nSlot, const std::string& log) {
  const LogChange change = m_logs.SetLog(nSlot, log);
  if (nSlot != m_nChosen) return;
  ShowLogChange(m_logBox, change.bTail, change.bTail ? change.tail : m_logs.Text(nSlot));
}

void CSlotBoard::ShowProgressReport(int nSlot, const ProgressReport& report) {
  Slot& slot = m_slots[static_cast<std::size_t>(nSlot)];
  if (report.text) slot.strProgress = *report.text;
  if (report.pos) slot.nProgress = *report.pos;
  if (slot.pRow != nullptr) ShowProgress(*slot.pRow->Bar(), report);
  if (nSlot == m_nChosen) ShowProgress(m_bar, report);
}

void CSlotBoard::RunStarted(int nSlot, std::uint32_t tick) {
  if (!Valid(nSlot)) return;
  m_slots[static_cast<std::size_t>(nSlot)].run.Start(tick);
  ShowRow(nSlot);
  KeepTimeRunning();
}

void CSlotBoard::StageStarted(int nSlot, const StageInfo& stage) {
  if (!Valid(nSlot)) return;
  m_slots[static_cast<std::size_t>(nSlot)].run.StageStarted(stage);
  ShowRow(nSlot);
}

void CSlotBoard::StageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) {
  if (!Valid(nSlot)) return;
  m_slots[static_cast<std::size_t>(nSlot)].run.StageEnded(stage, outcome);
  ShowRow(nSlot);
}

void CSlotBoard::RunEnded(const RunEnd& end, std::uint32_t tick) {
  if (!Valid(end.nSlot)) return;
  m_slots[static_cast<std::size_t>(end.nSlot)].run.End(end, tick);
  ShowRow(end.nSlot);
  KeepTimeRunning();
}

// The row shows the run with the slot's location as the logic knows it.
void CSlotBoard::ShowRow(int nSlot) {
  Slot& slot = m_slots[static_cast<std::size_t>(nSlot)];
  if (m_locationOf) slot.run.LearnLocation(m_locationOf(nSlot));
  if (slot.pRow != nullptr) slot.pRow->Show(slot.run, m_pClock->GetTickCount());
}

// The rows' times tick on while a run is open, and rest when none is.
void CSlotBoard::KeepTimeRunning() {
  const bool bTicking =
      m_slots.front().pRow != nullptr &&
      std::any_of(m_slots.begin(), m_slots.end(), [](const Slot& slot) { return slot.run.Open(); });
  if (bTicking && !m_elapsedTimer.isActive()) m_elapsedTimer.start();
  if (!bTicking) m_elapsedTimer.stop();
}

}  // namespace tw
