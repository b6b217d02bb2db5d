// Carries the run reports the window's slot rows show (a run's start, its
// stages, its end) from the worker threads to the UI thread, each with the
// tick at which it happened. Log lines and progress reach the window through
// its sinks instead. Reports still queued when the observer goes are dropped.
#pragma once
#include <QObject>
#include <cstdint>
#include <functional>

#include "download/runobserver.h"
#include "platform/clock.h"

namespace tw {

// What the UI thread is told; every call comes on that thread.
class ISlotRunReports {
 public:
  virtual ~ISlotRunReports() = default;
  virtual void RunStarted(int nSlot, std::uint32_t tick) = 0;
  virtual void StageStarted(int nSlot, const StageInfo& stage) = 0;
  virtual void StageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) = 0;
  virtual void RunEnded(const RunEnd& end, std::uint32_t tick) = 0;
};

class CQueuedRunObserver final : public IRunObserver {
 public:
  // target lives on the UI thread and outlives the observer; the clock
  // stamps each report and must be safe to read from any thread.
  CQueuedRunObserver(ISlotRunReports& target, IClock& clock) : m_target(target), m_pClock(&clock) {}

  // The clock of the runs; before the first report.
  void SetClock(IClock& clock) { m_pClock = &clock; }

  void OnRunStarted(int nSlot) override;
  void OnStageStarted(int nSlot, const StageInfo& stage) override;
  void OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) override;
  void OnRunEnded(const RunEnd& end) override;

 private:
  void Post(std::function<void()> call);

  ISlotRunReports& m_target;
  IClock* m_pClock;
  // Context of the queued calls: they are dropped with it.
  QObject m_context;
};

}  // namespace tw
