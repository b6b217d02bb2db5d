// The log box and the progress bar as subscribers of a downloader's
// reports: the log text grows by each line and the box is given the whole
// text; the bar takes each caption and position. Attached and detached by
// the dialog's logic (SetLogEdit, SetProgressCtrl) and by the reset.
#pragma once
#include <mutex>
#include <string>

#include "download/downloadsinks.h"
#include "download/runobserver.h"

namespace tw {

class CSinkObserver final : public IRunObserver {
 public:
  void SetLogEdit(ILogSink* p);
  void SetProgressCtrl(IProgressSink* p);
  void ClearProgressCtrl();
  // Detaches the log box and forgets the text.
  void ClearLog();
  // The reset: the text is forgotten and both sinks detached.
  void Reset();
  // The log text since the last reset (only lines added while a box was attached).
  std::string GetLogText() const;

  void OnLogLine(int nSlot, const std::string& line) override;
  void OnProgress(int nSlot, int nPos, const std::string& text) override;

 private:
  mutable std::mutex m_lock;  // guards the text and both sinks
  std::string m_strLog;
  ILogSink* m_pLogEdit = nullptr;
  IProgressSink* m_pProgressCtrl = nullptr;
};

}  // namespace tw
