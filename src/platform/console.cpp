#include "platform/console.h"

#include <signal.h>
#include <unistd.h>

#include <ctime>
#include <thread>

namespace tw {

// The signals are blocked before any other thread starts and taken here.
struct CInterruptWatch::State {
  sigset_t signals;
  std::jthread thread;
};

CInterruptWatch::CInterruptWatch(std::function<void()> onInterrupt) : m_pState(std::make_unique<State>()) {
  sigemptyset(&m_pState->signals);
  sigaddset(&m_pState->signals, SIGINT);
  sigaddset(&m_pState->signals, SIGTERM);
  sigaddset(&m_pState->signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &m_pState->signals, nullptr);
  m_pState->thread = std::jthread([state = m_pState.get(), onInterrupt](std::stop_token stop) {
    timespec slice{0, 100 * 1000 * 1000};
    while (!stop.stop_requested()) {
      if (sigtimedwait(&state->signals, nullptr, &slice) > 0) {
        onInterrupt();
        return;
      }
    }
  });
}

CInterruptWatch::~CInterruptWatch() = default;

CLogStream::CLogStream() {
  std::fflush(stdout);
  int fd = dup(STDOUT_FILENO);
  m_pFile = fd >= 0 ? fdopen(fd, "w") : nullptr;
  if (m_pFile != nullptr) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
  } else if (fd >= 0) {
    close(fd);
  }
}

CLogStream::~CLogStream() {
  if (m_pFile != nullptr) {
    std::fclose(m_pFile);
  }
}

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

}  // namespace tw
