// Runs an action on its own thread after a pause: the device answering, or
// going away, while the code under test waits. Joined when it goes out of scope.
#pragma once
#include <chrono>
#include <functional>
#include <thread>

namespace tw::test {

class Later {
 public:
  Later(int delayMs, std::function<void()> action)
      : m_thread([delayMs, action = std::move(action)] {
          std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
          action();
        }) {}
  Later(const Later&) = delete;
  Later& operator=(const Later&) = delete;
  ~Later() { m_thread.join(); }

 private:
  std::thread m_thread;
};

}  // namespace tw::test
