#include "platform/messageloop.h"

#include <utility>

namespace tw {

CMessageLoop::CMessageLoop() : m_loopThread(std::this_thread::get_id()) {}

void CMessageLoop::Post(std::function<void()> task) {
  {
    std::lock_guard guard(m_lock);
    m_tasks.push_back(std::move(task));
  }
  m_wake.notify_all();
}

void CMessageLoop::PumpMessages() {
  std::size_t waiting = 0;
  {
    std::lock_guard guard(m_lock);
    if (std::this_thread::get_id() != m_loopThread) {
      return;
    }
    waiting = m_tasks.size();
  }
  // Only what waits now: a task that posts again cannot keep the pump busy.
  for (std::size_t i = 0; i < waiting; ++i) {
    std::function<void()> task = TakeTask();
    if (!task) {
      break;
    }
    task();
  }
}

std::optional<int> CMessageLoop::Run(std::optional<std::chrono::steady_clock::time_point> deadline) {
  {
    std::lock_guard guard(m_lock);
    m_loopThread = std::this_thread::get_id();
  }
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock guard(m_lock);
      auto ready = [this] { return m_quitCode.has_value() || !m_tasks.empty(); };
      if (deadline) {
        if (!m_wake.wait_until(guard, *deadline, ready)) {
          return std::nullopt;
        }
      } else {
        m_wake.wait(guard, ready);
      }
      if (m_quitCode) {
        return m_quitCode;
      }
      task = std::move(m_tasks.front());
      m_tasks.pop_front();
    }
    task();
  }
}

void CMessageLoop::Quit(int code) {
  {
    std::lock_guard guard(m_lock);
    if (!m_quitCode) {
      m_quitCode = code;
    }
  }
  m_wake.notify_all();
}

bool CMessageLoop::QuitRequested() const {
  std::lock_guard guard(m_lock);
  return m_quitCode.has_value();
}

std::function<void()> CMessageLoop::TakeTask() {
  std::lock_guard guard(m_lock);
  if (m_tasks.empty()) {
    return {};
  }
  std::function<void()> task = std::move(m_tasks.front());
  m_tasks.pop_front();
  return task;
}

}  // namespace tw
