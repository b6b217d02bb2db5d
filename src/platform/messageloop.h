// The UI thread's event loop in headless mode: a queue of tasks, a blocking
// run loop and a re-entrant pump for the waits that must keep the loop alive.
#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/messagequeue.h"

namespace tw {

class CMessageLoop final : public IMessageQueue {
 public:
  // The constructing thread is the loop's thread until Run is called.
  CMessageLoop();

  void Post(std::function<void()> task) override;
  void PumpMessages() override;

  // Runs tasks on the calling thread until Quit. Returns the quit code, or
  // nothing when the deadline passed first. A quit requested inside a task
  // (or inside a nested pump) ends the loop once that task has returned.
  std::optional<int> Run(std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

  // Asks Run to return with code. Callable from any thread; the first
  // request wins.
  void Quit(int code);

  bool QuitRequested() const;

 private:
  // Takes the oldest task, or nothing when none waits.
  std::function<void()> TakeTask();

  mutable std::mutex m_lock;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_tasks;
  std::optional<int> m_quitCode;
  std::thread::id m_loopThread;
};

}  // namespace tw
