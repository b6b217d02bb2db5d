// What the main window shows of its armed slots, on the UI thread: each
// slot's log and progress as its downloader reports them (through the
// slot's own queued sinks), its row (location, COM port, stage, outcome,
// time, bar) as its run reports arrive, and the chosen slot, whose log the
// log box and whose progress the documented bar show. Slot 0 is chosen at
// start; with one slot there are no rows and the box and bar are slot 0's,
// as they always were.
#pragma once
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/queuedrunobserver.h"
#include "ui/queuedsinks.h"
#include "ui/slotlogs.h"
#include "ui/slotrun.h"

class QPlainTextEdit;

namespace tw {

class CSlotRow;
class CTextProgressCtrl;

class CSlotBoard final : public ISlotRunReports {
 public:
  // The log box and the bar outlive the board; frame paces the sinks.
  CSlotBoard(int nSlots, QPlainTextEdit& logBox, CTextProgressCtrl& bar, std::chrono::milliseconds frame);
  ~CSlotBoard() override;

  int SlotCount() const { return static_cast<int>(m_slots.size()); }
  // The rows, one per slot in order (none with one slot); they outlive the board.
  void AttachRows(const std::vector<CSlotRow*>& rows);
  CSlotRow* Row(int nSlot) const;

  // A slot's sinks for its downloader (any thread); null outside the slots.
  ILogSink* Log(int nSlot);
  IProgressSink* Progress(int nSlot);
  // True when every report of every sink has been shown.
  bool Idle();

  // Where the rows' run reports come from; the clock that times the runs
  // and where a slot's location is learnt, both before the first run.
  IRunObserver* RunObserver() { return &m_observer; }
  void SetClock(IClock& clock);
  void SetLocationSource(std::function<std::string(int nSlot)> locationOf);

  // A station line: added to every slot's log.
  void Note(const std::string& line);
  // The slot data changed (a handset connected): the rows look again.
  void Refresh();
  // Shows this slot's log in the box and its progress on the bar.
  void Choose(int nSlot);
  int Chosen() const { return m_nChosen; }

  // ISlotRunReports.
  void RunStarted(int nSlot, std::uint32_t tick) override;
  void StageStarted(int nSlot, const StageInfo& stage) override;
  void StageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) override;
  void RunEnded(const RunEnd& end, std::uint32_t tick) override;

 private:
  struct Slot {
    std::unique_ptr<QueuedLogSink> pLog;
    std::unique_ptr<QueuedProgressSink> pProgress;
    std::string strProgress;  // the bar's caption and position as last reported
    int nProgress = 0;
    CSlotRun run;
    CSlotRow* pRow = nullptr;
  };

  bool Valid(int nSlot) const { return nSlot >= 0 && nSlot < SlotCount(); }
  void ShowLog(int nSlot, const std::string& log);
  void ShowProgressReport(int nSlot, const ProgressReport& report);
  void ShowRow(int nSlot);
  void KeepTimeRunning();

  QPlainTextEdit& m_logBox;
  CTextProgressCtrl& m_bar;
  std::vector<Slot> m_slots;
  CSlotLogs m_logs;
  int m_nChosen = 0;
  IClock* m_pClock;
  std::function<std::string(int)> m_locationOf;
  QTimer m_elapsedTimer;          // refreshes the times of the open runs
  CQueuedRunObserver m_observer;  // destroyed first, with its queued reports
};

}  // namespace tw
