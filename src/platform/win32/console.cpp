#include "platform/console.h"

#include <io.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace tw {

namespace {

// The console's control handler is process-wide: it reaches the one watch
// that is installed.
std::mutex g_watchLock;
std::function<void()>* g_pOnInterrupt = nullptr;
std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: {
      std::lock_guard guard(g_watchLock);
      if (g_pOnInterrupt != nullptr && !g_interrupted.exchange(true)) {
        // The handler runs on a thread the system made for it; the callback
        // only asks the run to end.
        (*g_pOnInterrupt)();
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

struct CInterruptWatch::State {
  std::function<void()> onInterrupt;
};

CInterruptWatch::CInterruptWatch(std::function<void()> onInterrupt) : m_pState(std::make_unique<State>()) {
  m_pState->onInterrupt = std::move(onInterrupt);
  std::lock_guard guard(g_watchLock);
  g_pOnInterrupt = &m_pState->onInterrupt;
  g_interrupted = false;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

CInterruptWatch::~CInterruptWatch() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  std::lock_guard guard(g_watchLock);
  g_pOnInterrupt = nullptr;
}

CLogStream::CLogStream() {
  std::fflush(stdout);
  const int fd = _dup(_fileno(stdout));
  m_pFile = fd >= 0 ? _fdopen(fd, "w") : nullptr;
  if (m_pFile != nullptr) {
    _dup2(_fileno(stderr), _fileno(stdout));
  } else if (fd >= 0) {
    _close(fd);
  }
}

CLogStream::~CLogStream() {
  if (m_pFile != nullptr) {
    std::fclose(m_pFile);
  }
}

// A console counts as a terminal when it takes the escape sequences of the
// live progress bar (Windows 10 and later); an older console gets plain lines.
bool IsTerminal(std::FILE* stream) {
  if (_isatty(_fileno(stream)) == 0) {
    return false;
  }
  HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return GetConsoleMode(console, &mode) &&
         SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING | ENABLE_PROCESSED_OUTPUT);
}

}  // namespace tw
