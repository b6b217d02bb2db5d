#include "download/sinkobserver.h"

namespace tw {

void CSinkObserver::SetLogEdit(ILogSink* p) {
  std::lock_guard guard(m_lock);
  m_pLogEdit = p;
}

void CSinkObserver::SetProgressCtrl(IProgressSink* p) {
  std::lock_guard guard(m_lock);
  m_pProgressCtrl = p;
}

void CSinkObserver::ClearProgressCtrl() {
  std::lock_guard guard(m_lock);
  m_pProgressCtrl = nullptr;
}

void CSinkObserver::ClearLog() {
  std::lock_guard guard(m_lock);
  m_pLogEdit = nullptr;
  m_strLog.clear();
}

void CSinkObserver::Reset() {
  std::lock_guard guard(m_lock);
  m_strLog.clear();
  m_pProgressCtrl = nullptr;
  m_pLogEdit = nullptr;
}

std::string CSinkObserver::GetLogText() const {
  std::lock_guard guard(m_lock);
  return m_strLog;
}

void CSinkObserver::OnLogLine(int /*nSlot*/, const std::string& line) {
  std::lock_guard guard(m_lock);
  if (!m_pLogEdit) return;
  m_strLog += line;
  m_pLogEdit->SetLogText(m_strLog);
}

void CSinkObserver::OnProgress(int /*nSlot*/, int nPos, const std::string& text) {
  std::lock_guard guard(m_lock);
  if (!m_pProgressCtrl) return;
  m_pProgressCtrl->SetText(text);
  m_pProgressCtrl->SetPos(nPos);
}

}  // namespace tw
