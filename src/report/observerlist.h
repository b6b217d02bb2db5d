// Several subscribers behind the one observer a run reports to, in order.
#pragma once
#include <vector>

#include "download/runobserver.h"

namespace tw {

class CObserverList final : public IRunObserver {
 public:
  // Subscribers are not owned; add them all before the first report.
  void Add(IRunObserver* pObserver) {
    if (pObserver) m_observers.push_back(pObserver);
  }
  bool Empty() const { return m_observers.empty(); }

  void OnDevice(const DeviceReport& device) override {
    for (IRunObserver* p : m_observers) p->OnDevice(device);
  }
  void OnRunStarted(int nSlot) override {
    for (IRunObserver* p : m_observers) p->OnRunStarted(nSlot);
  }
  void OnLogLine(int nSlot, const std::string& line) override {
    for (IRunObserver* p : m_observers) p->OnLogLine(nSlot, line);
  }
  void OnConsoleText(int nSlot, const std::string& text) override {
    for (IRunObserver* p : m_observers) p->OnConsoleText(nSlot, text);
  }
  void OnProgress(int nSlot, int nPos, const std::string& text) override {
    for (IRunObserver* p : m_observers) p->OnProgress(nSlot, nPos, text);
  }
  void OnStageStarted(int nSlot, const StageInfo& stage) override {
    for (IRunObserver* p : m_observers) p->OnStageStarted(nSlot, stage);
  }
  void OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) override {
    for (IRunObserver* p : m_observers) p->OnStageEnded(nSlot, stage, outcome);
  }
  void OnRunEnded(const RunEnd& end) override {
    for (IRunObserver* p : m_observers) p->OnRunEnded(end);
  }

 private:
  std::vector<IRunObserver*> m_observers;
};

}  // namespace tw
