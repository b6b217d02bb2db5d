// The log box and progress bar as a downloader reports to them. Reports may
// come from worker threads: each one is stored and carried to the UI thread
// queued, so a worker never waits for that thread. The controls are updated
// at most once per frame; reports that arrive in between are merged: the
// latest text and position win, nothing else is lost since each log report
// is the whole log.
#pragma once
#include <chrono>
#include <functional>
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
  // show gets each whole log on the UI thread.
  using Show = std::function<void(const std::string& log)>;
  QueuedLogSink(Show show, std::chrono::milliseconds frame);
  // Shows the log in this box.
  QueuedLogSink(QPlainTextEdit* pEdit, std::chrono::milliseconds frame);
  void SetLogText(const std::string& text) override;
  // True when every stored report has been shown.
  bool Idle();

 private:
  void Deliver();

  Show m_show;
  std::mutex m_lock;
  std::string m_strPending;
  bool m_bPosted = false;
  FramePacer m_pacer;  // destroyed first, with its pending deliveries
};

// What reaches the bar in one delivery: the caption, the position, or both.
struct ProgressReport {
  std::optional<std::string> text;
  std::optional<int> pos;
};

// Puts a report on a bar: the caption first, then the position, as a
// downloader reports them.
void ShowProgress(CTextProgressCtrl& bar, const ProgressReport& report);

class QueuedProgressSink final : public IProgressSink {
 public:
  // show gets each merged report on the UI thread.
  using Show = std::function<void(const ProgressReport& report)>;
  QueuedProgressSink(Show show, std::chrono::milliseconds frame);
  // Shows the reports on this bar.
  QueuedProgressSink(CTextProgressCtrl* pProgress, std::chrono::milliseconds frame);
  void SetText(const std::string& text) override;
  void SetPos(int pos) override;
  // True when every stored report has been shown.
  bool Idle();

 private:
  void PostLocked();
  void Deliver();

  Show m_show;
  std::mutex m_lock;
  ProgressReport m_pending;
  bool m_bPosted = false;
  FramePacer m_pacer;  // destroyed first, with its pending deliveries
};

// Shows a whole log in the box and keeps its last line in view. When the new
// log continues the one shown, only the new tail is added.
void ShowLogText(QPlainTextEdit& edit, const std::string& shown, const std::string& text);
// The same for a change already known: text replaces the box's text, or
// (bTail) is added at its end.
void ShowLogChange(QPlainTextEdit& edit, bool bTail, const std::string& text);

}  // namespace tw
