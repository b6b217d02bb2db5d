// The headless front end's window: log lines on stdout exactly as the log
// box would show them, progress and message boxes on stderr, Start pressed
// as soon as it is enabled, and the exit status decided by how the run ends.
#pragma once
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "app/tidewellview.h"
#include "platform/messageloop.h"

namespace tw {

// Exit statuses of the headless front end.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRunFailed = 1;
inline constexpr int kExitUsage = 2;

// Whether text is the printf format with each "%d" a decimal number.
bool MatchesFormat(const std::string& text, const std::string& format);
// True for the progress text that ends a successful run: "PDA OS image
// completed." when no phone image follows, "[COM<n>]Phone image complete.".
bool IsSuccessText(const std::string& text, bool bPhoneImage);
// True for a progress text after which the run ends without WM_DOWNLOAD_DONE:
// "[COM<n>] PHONE download fail.[id<n>]", the phone stage's jump failure.
bool IsSilentEndText(const std::string& text);

class CHeadlessView final : public ITidewellView, public ILogSink, public IProgressSink {
 public:
  // out takes the log lines, err the rest; bLiveBar draws the progress as
  // one live line (for a terminal) rather than a line per change.
  CHeadlessView(CMessageLoop& loop, std::FILE* out, std::FILE* err, bool bLiveBar);

  // What pressing Start runs (the logic's OnStart), and whether a phone
  // image was loaded (it decides which text means success).
  void SetStartHandler(std::function<void()> press) { m_press = std::move(press); }
  void SetPhoneImage(std::function<bool()> hasPhoneImage) { m_hasPhoneImage = std::move(hasPhoneImage); }

  // ITidewellView.
  void EnableStart(BOOL bEnable) override;
  void MessageBox(const std::string& text, const std::string& caption, MessageIcon icon) override;
  ILogSink* LogEdit() override { return this; }
  IProgressSink* ProgressBar() override { return this; }
  void EndDialog(int nResult) override;
  void DownloadDone(int nSlot) override;

  // ILogSink and IProgressSink; callable from any thread.
  void SetLogText(const std::string& text) override;
  void SetText(const std::string& text) override;
  void SetPos(int pos) override;

  std::string LastProgressText() const;
  // Ends the live bar's line, if one is drawn.
  void FinishProgress();

 private:
  void DrawProgress();  // m_lock held

  CMessageLoop& m_loop;
  std::FILE* m_out;
  std::FILE* m_err;
  const bool m_bLiveBar;
  std::function<void()> m_press;
  std::function<bool()> m_hasPhoneImage;

  mutable std::mutex m_lock;
  std::string m_strLogShown;  // the log text already written to out
  std::string m_strText;
  int m_nPos = 0;
  // The bar starts empty with no text: nothing is drawn until that changes.
  std::pair<std::string, int> m_lastDrawn;
  bool m_bBarOpen = false;
};

}  // namespace tw
