// The console texts of a run (the download interface's open attempts)
// written to a stream, as the window's process prints them on stdout.
#pragma once
#include <cstdio>
#include <mutex>
#include <string>

#include "download/runobserver.h"

namespace tw {

class CConsoleEcho final : public IRunObserver {
 public:
  explicit CConsoleEcho(std::FILE* stream) : m_pStream(stream) {}
  void OnConsoleText(int /*nSlot*/, const std::string& text) override {
    std::lock_guard guard(m_lock);
    std::fputs(text.c_str(), m_pStream);
    std::fflush(m_pStream);
  }

 private:
  std::mutex m_lock;
  std::FILE* m_pStream;
};

}  // namespace tw
