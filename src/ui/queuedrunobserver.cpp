#include "ui/queuedrunobserver.h"

#include <QMetaObject>
#include <utility>

namespace tw {

void CQueuedRunObserver::OnRunStarted(int nSlot) {
  const std::uint32_t tick = m_pClock->GetTickCount();
  Post([this, nSlot, tick] { m_target.RunStarted(nSlot, tick); });
}

void CQueuedRunObserver::OnStageStarted(int nSlot, const StageInfo& stage) {
  Post([this, nSlot, stage] { m_target.StageStarted(nSlot, stage); });
}

void CQueuedRunObserver::OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) {
  Post([this, nSlot, stage, outcome] { m_target.StageEnded(nSlot, stage, outcome); });
}

void CQueuedRunObserver::OnRunEnded(const RunEnd& end) {
  const std::uint32_t tick = m_pClock->GetTickCount();
  Post([this, end, tick] { m_target.RunEnded(end, tick); });
}

void CQueuedRunObserver::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(&m_context, std::move(call), Qt::QueuedConnection);
}

}  // namespace tw
