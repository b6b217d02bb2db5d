#include "platform/stoppablewait.h"

#include <algorithm>

#include "platform/tunables.h"

namespace tw {

int WaitReceiveOrStop(IByteDevice& device, int timeoutMs, const std::stop_token& stop, IClock& clock) {
  ClockDeadline deadline(clock, static_cast<std::uint32_t>(std::max(timeoutMs, 0)));
  const std::uint32_t slice = static_cast<std::uint32_t>(
      stop.stop_possible() ? std::max(GetTunables().stopCheckMs, 1) : std::max(timeoutMs, 1));
  for (;;) {
    if (stop.stop_requested()) {
      return 0;
    }
    const std::uint32_t left = deadline.Left();
    const std::uint32_t wait = std::min(left, slice);
    const int result = device.WaitReceive(static_cast<int>(wait));
    if (result != 0) {
      return result;
    }
    deadline.Waited(wait);
    if (left <= slice) {
      return 0;
    }
  }
}

}  // namespace tw
