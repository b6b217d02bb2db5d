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

}  // namespace tw
