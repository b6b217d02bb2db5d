// The headless front end's window: log lines on stdout exactly as the log
// box would show them, progress and message boxes on stderr, Start pressed
// as soon as it is enabled, and the exit status taken from the run's outcome.
#pragma once
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "app/tidewellview.h"
#include "download/runobserver.h"
#include "platform/messageloop.h"

namespace tw {

// Exit statuses of the headless front end.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRunFailed = 1;
inline constexpr int kExitUsage = 2;

class CHeadlessView final : public ITidewellView, public ILogSink, public IProgressSink, public IRunObserver {
 public:
  // out takes the log lines, err the rest; bLiveBar draws the progress as
  // one live line (for a terminal) rather than a line per change.
  CHeadlessView(CMessageLoop& loop, std::FILE* out, std::FILE* err, bool bLiveBar);

  // What pressing Start runs (the logic's OnStart).
  void SetStartHandler(std::function<void()> press) { m_press = std::move(press); }

  // ITidewellView.
  void EnableStart(BOOL bEnable) override;
  void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  ILogSink* LogEdit() override { return this; }
  IProgressSink* ProgressBar() override { return this; }
  void EndDialog(int nResult) override;
  // The run's outcome decides the exit status: 0 when it was done, else 1.
  void DownloadDone(const RunEnd& end) override;

  // ILogSink and IProgressSink; callable from any thread.
  void SetLogText(const std::string& text) override;
  void SetText(const std::string& text) override;
  void SetPos(int pos) override;

  // IRunObserver: the console texts go to err; a failed run says on err
  // where and why it failed.
  void OnConsoleText(int nSlot, const std::string& text) override;
  void OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) override;
  void OnRunEnded(const RunEnd& end) override;

  std::string LastProgressText() const;
  // Ends the live bar's line, if one is drawn.
  void FinishProgress();

 private:
  void DrawProgress();  // m_lock held
  void EndBarLine();    // m_lock held

  CMessageLoop& m_loop;
  std::FILE* m_out;
  std::FILE* m_err;
  const bool m_bLiveBar;
  std::function<void()> m_press;

  mutable std::mutex m_lock;
  std::string m_strLogShown;  // the log text already written to out
  std::string m_strText;
  int m_nPos = 0;
  // The bar starts empty with no text: nothing is drawn until that changes.
  std::pair<std::string, int> m_lastDrawn;
  bool m_bBarOpen = false;
  // Per slot: the stage (and region) whose failure came first in its run.
  std::map<int, std::string> m_failedWhere;
};

}  // namespace tw
