// The terminal side of the headless front end: interrupts that end a run,
// the log's own stream, and whether a stream is a terminal.
#pragma once
#include <cstdio>
#include <functional>
#include <memory>

namespace tw {

// Calls onInterrupt once, on a thread of its own, when the user interrupts
// the program (SIGINT, SIGTERM or SIGHUP; Ctrl+C, Ctrl+Break or closing the console
// on Windows). Construct it before any other thread starts: on Linux the
// signals are blocked for the threads made after it.
class CInterruptWatch {
 public:
  explicit CInterruptWatch(std::function<void()> onInterrupt);
  ~CInterruptWatch();
  CInterruptWatch(const CInterruptWatch&) = delete;
  CInterruptWatch& operator=(const CInterruptWatch&) = delete;

 private:
  struct State;
  std::unique_ptr<State> m_pState;
};

// The log's own stream: the process's stdout, moved to a stream of its own,
// while stdout itself becomes a copy of stderr. So stdout carries the log
// lines and nothing else, whatever a library prints.
class CLogStream {
 public:
  CLogStream();
  ~CLogStream();
  CLogStream(const CLogStream&) = delete;
  CLogStream& operator=(const CLogStream&) = delete;
  std::FILE* File() const { return m_pFile != nullptr ? m_pFile : stdout; }

 private:
  std::FILE* m_pFile = nullptr;
};

// Whether the stream is an interactive terminal (a live progress bar).
bool IsTerminal(std::FILE* stream);

}  // namespace tw
