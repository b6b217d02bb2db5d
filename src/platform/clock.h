// Sleep and tick count behind one interface, so tests can run the
// upgrader's delays in virtual time.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <vector>

namespace tw {

class IClock {
 public:
  virtual ~IClock() = default;
  // Sleeps ms milliseconds. Returns false when a stop request cut it short.
  virtual bool Sleep(std::uint32_t ms, std::stop_token stop = {}) = 0;
  // Milliseconds since an arbitrary start, wrapping like a 32-bit tick count.
  virtual std::uint32_t GetTickCount() = 0;
};

// The machine's monotonic clock.
class RealClock final : public IClock {
 public:
  bool Sleep(std::uint32_t ms, std::stop_token stop = {}) override;
  std::uint32_t GetTickCount() override;
};

// Virtual time: a sleep returns at once and moves the time on. Every sleep
// is recorded so tests can check the delays a run asked for.
class VirtualClock final : public IClock {
 public:
  bool Sleep(std::uint32_t ms, std::stop_token stop = {}) override;
  std::uint32_t GetTickCount() override;

  void Advance(std::uint32_t ms);
  std::vector<std::uint32_t> Sleeps() const;  // every sleep so far, in order
  void ClearSleeps();

 private:
  mutable std::mutex m_lock;
  std::uint64_t m_nowMs = 0;
  std::vector<std::uint32_t> m_sleeps;
};

// The process's real clock.
IClock& DefaultClock();

// A deadline ms from now on a clock, so that a virtual-time test can bring it
// on by moving the clock. A wait that ran out also counts toward it (Waited),
// so that it passes on a clock that nobody moves as it would in real time.
class ClockDeadline {
 public:
  ClockDeadline(IClock& clock, std::uint32_t ms) : m_clock(clock), m_start(clock.GetTickCount()), m_ms(ms) {}
  // Milliseconds left; 0 once the deadline has passed.
  std::uint32_t Left() const;
  // A wait of ms ended without what it waited for.
  void Waited(std::uint32_t ms) { m_waited += ms; }

 private:
  IClock& m_clock;
  std::uint32_t m_start;
  std::uint32_t m_ms;
  std::uint64_t m_waited = 0;
};

}  // namespace tw
