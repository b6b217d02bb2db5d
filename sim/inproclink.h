// One in-process connection between a host-side device and the handset:
// a byte queue in each direction and the open/present state, under one lock.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

namespace tw::sim {

class InProcLink {
 public:
  // Host side.
  bool TryOpen();  // exclusive: false while open or gone
  void HostClose();
  long HostWaiting();
  int HostWaitReceive(int timeoutMs);
  long HostRead(std::uint8_t* dst, std::size_t n);
  bool HostWrite(const std::uint8_t* src, std::size_t n);
  void HostPurge();

  // Handset side.
  bool SimWaitOpened(int timeoutMs);
  long SimReceive(std::uint8_t* dst, std::size_t n, int timeoutMs);
  bool SimSend(const std::uint8_t* src, std::size_t n);
  bool SimWaitDrained(int timeoutMs);
  void Withdraw();  // the device leaves: every host call fails from now on
  bool Present();

 private:
  static std::size_t Take(std::deque<std::uint8_t>& from, std::uint8_t* dst, std::size_t n);
  std::chrono::steady_clock::time_point Deadline(int timeoutMs) const;

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::deque<std::uint8_t> m_toHost;
  std::deque<std::uint8_t> m_toSim;
  bool m_present = true;
  bool m_hostOpen = false;
  std::uint64_t m_opens = 0;       // opens by the host so far
  std::uint64_t m_simSession = 0;  // the open the handset is serving
};

}  // namespace tw::sim
