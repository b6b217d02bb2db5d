// The log box and progress bar as a downloader reports to them. Reports may
// come from worker threads: each one is stored and carried to the UI thread
// queued, so a worker never waits for that thread. The controls are updated
// at most once per frame; reports that arrive in between are merged: the
// latest text and position win, nothing else is lost since each log report
// is the whole log.
#pragma once
#include <chrono>
#include <mutex>
#include <optional>
#include <string>

#include "download/downloadsinks.h"
#include "ui/framepacer.h"

class QPlainTextEdit;

namespace tw {

class CTextProgressCtrl;

class QueuedLogSink final : public ILogSink {
 public:
  QueuedLogSink(QPlainTextEdit* pEdit, std::chrono::milliseconds frame);
  void SetLogText(const std::string& text) override;
  // True when every stored report has been shown.
  bool Idle();

 private:
  void Deliver();

  QPlainTextEdit* m_pEdit;
  std::mutex m_lock;
  std::string m_strPending;
  bool m_bPosted = false;
  std::string m_strShown;  // UI thread only
  FramePacer m_pacer;      // destroyed first, with its pending deliveries
};

class QueuedProgressSink final : public IProgressSink {
 public:
  QueuedProgressSink(CTextProgressCtrl* pProgress, std::chrono::milliseconds frame);
  void SetText(const std::string& text) override;
  void SetPos(int pos) override;
  // True when every stored report has been shown.
  bool Idle();

 private:
  void PostLocked();
  void Deliver();

  CTextProgressCtrl* m_pProgress;
  std::mutex m_lock;
  std::optional<std::string> m_strText;
  std::optional<int> m_nPos;
  bool m_bPosted = false;
  FramePacer m_pacer;  // destroyed first, with its pending deliveries
};

// Shows a whole log in the box and keeps its last line in view. When the new
// log continues the one shown, only the new tail is added.
void ShowLogText(QPlainTextEdit& edit, const std::string& shown, const std::string& text);

}  // namespace tw
