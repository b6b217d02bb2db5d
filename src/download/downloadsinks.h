// What a downloader reports to: the log box and the progress bar. The UI
// implements both; each call may come from a worker thread, and the sink
// marshals it to the UI thread itself (queued, never waiting for that thread).
#pragma once
#include <string>

namespace tw {

// The log box: shows the downloader's complete log.
class ILogSink {
 public:
  virtual ~ILogSink() = default;
  // Replaces the box's whole text with `text` and scrolls so that its last
  // line is in view.
  virtual void SetLogText(const std::string& text) = 0;
};

// The progress bar: a position 0 to 100 and a caption drawn over the bar.
class IProgressSink {
 public:
  virtual ~IProgressSink() = default;
  // Sets the caption drawn over the bar.
  virtual void SetText(const std::string& text) = 0;
  // Sets the position (the range is 0 to 100).
  virtual void SetPos(int pos) = 0;
};

}  // namespace tw
