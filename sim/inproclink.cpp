#include "sim/inproclink.h"

#include <algorithm>

namespace tw::sim {

std::size_t InProcLink::Take(std::deque<std::uint8_t>& from, std::uint8_t* dst, std::size_t n) {
  std::size_t count = std::min(n, from.size());
  std::copy_n(from.begin(), count, dst);
  from.erase(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(count));
  return count;
}

std::chrono::steady_clock::time_point InProcLink::Deadline(int timeoutMs) const {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
}

bool InProcLink::TryOpen() {
  std::lock_guard guard(m_lock);
  if (!m_present || m_hostOpen) {
    return false;
  }
  m_hostOpen = true;
  ++m_opens;
  m_changed.notify_all();
  return true;
}

void InProcLink::HostClose() {
  std::lock_guard guard(m_lock);
  if (m_hostOpen) {
    m_hostOpen = false;
    m_toHost.clear();
    m_changed.notify_all();
  }
}

long InProcLink::HostWaiting() {
  std::lock_guard guard(m_lock);
  return m_present ? static_cast<long>(m_toHost.size()) : -1;
}

int InProcLink::HostWaitReceive(int timeoutMs) {
  std::unique_lock guard(m_lock);
  m_changed.wait_until(guard, Deadline(timeoutMs), [this] { return !m_present || !m_toHost.empty(); });
  if (!m_present) {
    return -1;
  }
  return m_toHost.empty() ? 0 : 1;
}

long InProcLink::HostRead(std::uint8_t* dst, std::size_t n) {
  std::lock_guard guard(m_lock);
  if (!m_present) {
    return -1;
  }
  std::size_t count = Take(m_toHost, dst, n);
  if (m_toHost.empty()) {
    m_changed.notify_all();
  }
  return static_cast<long>(count);
}

bool InProcLink::HostWrite(const std::uint8_t* src, std::size_t n) {
  std::lock_guard guard(m_lock);
  if (!m_present || !m_hostOpen) {
    return false;
  }
  m_toSim.insert(m_toSim.end(), src, src + n);
  m_changed.notify_all();
  return true;
}

void InProcLink::HostPurge() {
  std::lock_guard guard(m_lock);
  m_toHost.clear();
  m_toSim.clear();
}

// Each open of the host is one session, even one that is closed again
// before the handset looked.
bool InProcLink::SimWaitOpened(int timeoutMs) {
  std::unique_lock guard(m_lock);
  if (!m_changed.wait_until(guard, Deadline(timeoutMs), [this] { return m_opens > m_simSession; })) {
    return false;
  }
  m_simSession = m_opens;
  return true;
}

long InProcLink::SimReceive(std::uint8_t* dst, std::size_t n, int timeoutMs) {
  std::unique_lock guard(m_lock);
  auto sessionOver = [this] { return !m_hostOpen || m_opens != m_simSession; };
  m_changed.wait_until(guard, Deadline(timeoutMs), [&] { return !m_toSim.empty() || sessionOver(); });
  if (!m_toSim.empty()) {
    return static_cast<long>(Take(m_toSim, dst, n));
  }
  return sessionOver() ? -1 : 0;
}

bool InProcLink::SimSend(const std::uint8_t* src, std::size_t n) {
  std::lock_guard guard(m_lock);
  if (!m_present || !m_hostOpen) {
    return false;
  }
  m_toHost.insert(m_toHost.end(), src, src + n);
  m_changed.notify_all();
  return true;
}

bool InProcLink::SimWaitDrained(int timeoutMs) {
  std::unique_lock guard(m_lock);
  return m_changed.wait_until(guard, Deadline(timeoutMs), [this] { return m_toHost.empty() || !m_hostOpen; });
}

void InProcLink::Withdraw() {
  std::lock_guard guard(m_lock);
  m_present = false;
  m_toHost.clear();
  m_toSim.clear();
  m_changed.notify_all();
}

bool InProcLink::Present() {
  std::lock_guard guard(m_lock);
  return m_present;
}

}  // namespace tw::sim
