#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tw {

bool RealClock::Sleep(std::uint32_t ms, std::stop_token stop) {
  if (!stop.stop_possible()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return true;
  }
  // Wake at once on a stop request. The wait's own result is the predicate's
  // (always false), so the stop state tells whether the sleep was cut short.
  std::mutex lock;
  std::condition_variable_any wake;
  std::unique_lock guard(lock);
  wake.wait_for(guard, stop, std::chrono::milliseconds(ms), [] { return false; });
  return !stop.stop_requested();
}

std::uint32_t RealClock::GetTickCount() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool VirtualClock::Sleep(std::uint32_t ms, std::stop_token stop) {
  std::lock_guard guard(m_lock);
  m_sleeps.push_back(ms);
  m_nowMs += ms;
  return !stop.stop_requested();
}

std::uint32_t VirtualClock::GetTickCount() {
  std::lock_guard guard(m_lock);
  return static_cast<std::uint32_t>(m_nowMs);
}

void VirtualClock::Advance(std::uint32_t ms) {
  std::lock_guard guard(m_lock);
  m_nowMs += ms;
}

std::vector<std::uint32_t> VirtualClock::Sleeps() const {
  std::lock_guard guard(m_lock);
  return m_sleeps;
}

void VirtualClock::ClearSleeps() {
  std::lock_guard guard(m_lock);
  m_sleeps.clear();
}

std::uint32_t ClockDeadline::Left() const {
  // Tick arithmetic wraps like the 32-bit tick count it reads.
  const std::uint64_t elapsed = std::max<std::uint64_t>(m_clock.GetTickCount() - m_start, m_waited);
  return elapsed >= m_ms ? 0 : static_cast<std::uint32_t>(m_ms - elapsed);
}

IClock& DefaultClock() {
  static RealClock clock;
  return clock;
}

}  // namespace tw
