// What the main dialog's logic needs of its window: the Start button, the
// message boxes, the log box and progress bar of slot 0, and ending the
// dialog. The Qt dialog and the headless front end implement it.
#pragma once
#include <string>

#include "download/downloadsinks.h"
#include "download/runoutcome.h"
#include "platform/wintypes.h"

namespace tw {

// The message box icons the upgrader uses.
enum class MessageIcon { None, Exclamation };

class ITidewellView {
 public:
  virtual ~ITidewellView() = default;

  // Enables or disables the Start button (control 1068).
  virtual void EnableStart(BOOL bEnable) = 0;
  // Shows a message box with an OK button. Called on the UI thread.
  virtual void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
  // The log box (control 1004) and the progress bar (control 1006). Both
  // live as long as the view; their calls may come from worker threads.
  virtual ILogSink* LogEdit() = 0;
  virtual IProgressSink* ProgressBar() = 0;
  // The log and progress bar of an armed slot (null: none); slot 0's are
  // the log box and the progress bar.
  virtual ILogSink* SlotLog(int nSlot) { return nSlot == 0 ? LogEdit() : nullptr; }
  virtual IProgressSink* SlotProgress(int nSlot) { return nSlot == 0 ? ProgressBar() : nullptr; }
  // A line of the station's own: a handset that waits for a free slot, a
  // COM port that no slot takes. Called on the UI thread.
  virtual void StationNote(const std::string& /*line*/) {}
  // Readies the progress bar's look: text visible, white background, the
  // two text colours, range 0 to 100.
  virtual void PrepareProgressBar() {}
  // Refreshes the controls from the dialog data (UpdateData(FALSE)).
  virtual void UpdateData() {}
  // Ends the modal dialog with the result (IDOK 1, IDCANCEL 2).
  virtual void EndDialog(int nResult) = 0;
  // A run ended (its end event, for a slot in the table), after the logic
  // freed its slot. The window does nothing here; the headless front end
  // takes its exit status from the outcome.
  virtual void DownloadDone(const RunEnd& /*end*/) {}
};

}  // namespace tw
