// The headless front end's window: log lines on stdout exactly as the log
// box would show them, progress and message boxes on stderr, Start pressed
// as soon as it is enabled, and the exit status taken from the run's outcome.
#pragma once
#include <array>
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

// How the headless run ends: after one run per armed slot, or (a station)
// never by itself; and whether a skipped region fails a run.
struct HeadlessPolicy {
  int nSlots = 1;
  bool bStation = false;
  bool bStrict = false;
};

class CHeadlessView final : public ITidewellView, public ILogSink, public IProgressSink, public IRunObserver {
 public:
  // out takes the log lines, err the rest; bLiveBar draws the progress as
  // one live line (for a terminal) rather than a line per change. With more
  // than one slot every log and progress line names its slot.
  CHeadlessView(CMessageLoop& loop, std::FILE* out, std::FILE* err, bool bLiveBar,
                HeadlessPolicy policy = {});

  // What pressing Start runs (the logic's OnStart).
  void SetStartHandler(std::function<void()> press) { m_press = std::move(press); }

  // ITidewellView.
  void EnableStart(BOOL bEnable) override;
  void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  ILogSink* LogEdit() override { return this; }
  IProgressSink* ProgressBar() override { return this; }
  ILogSink* SlotLog(int nSlot) override;
  IProgressSink* SlotProgress(int nSlot) override;
  void StationNote(const std::string& line) override;
  void EndDialog(int nResult) override;
  // Without --station, the run's outcome decides the exit status (0 when
  // every run was done, else 1) once each armed slot has ended a run.
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
  // Ends the live bar's line, if one is drawn, and writes the slots' lines
  // that never got their line end.
  void FinishProgress();

 private:
  // The log and progress bar of one slot when several are armed.
  class CSlotSinks final : public ILogSink, public IProgressSink {
   public:
    void Attach(CHeadlessView* pView, int nSlot) {
      m_pView = pView;
      m_nSlot = nSlot;
    }
    void SetLogText(const std::string& text) override;
    void SetText(const std::string& text) override;
    void SetPos(int pos) override;

   private:
    friend class CHeadlessView;
    CHeadlessView* m_pView = nullptr;
    int m_nSlot = 0;
    std::string Prefix() const;
    std::string m_strLogShown;  // guarded by the view's lock
    std::string m_strPending;   // the start of a line not yet ended
    std::string m_strText;
    int m_nPos = 0;
    std::pair<std::string, int> m_lastDrawn;
  };

  void DrawProgress();                                                 // m_lock held
  void DrawSlotProgress(CSlotSinks& slot);                             // m_lock held
  void EndBarLine();                                                   // m_lock held
  void WriteLog(const std::string& prefix, const std::string& added);  // m_lock held

  CMessageLoop& m_loop;
  std::FILE* m_out;
  std::FILE* m_err;
  const bool m_bLiveBar;
  const HeadlessPolicy m_policy;
  std::array<CSlotSinks, 8> m_slots;
  int m_nRunsDone = 0;  // UI thread
  int m_nStatus = 0;
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
