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
  m_hostClosed = false;
  m_changed.notify_all();
  return true;
}

void InProcLink::HostClose() {
  std::lock_guard guard(m_lock);
  if (m_hostOpen) {
    m_hostOpen = false;
    m_hostClosed = true;
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
  return static_cast<long>(Take(m_toHost, dst, n));
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

bool InProcLink::SimWaitOpened(int timeoutMs) {
  std::unique_lock guard(m_lock);
  return m_changed.wait_until(guard, Deadline(timeoutMs), [this] { return m_hostOpen; });
}

long InProcLink::SimReceive(std::uint8_t* dst, std::size_t n, int timeoutMs) {
  std::unique_lock guard(m_lock);
  m_changed.wait_until(guard, Deadline(timeoutMs), [this] { return !m_toSim.empty() || m_hostClosed; });
  if (!m_toSim.empty()) {
    return static_cast<long>(Take(m_toSim, dst, n));
  }
  return m_hostClosed ? -1 : 0;
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
