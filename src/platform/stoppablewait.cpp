#include "platform/stoppablewait.h"

#include <algorithm>
#include <chrono>

#include "platform/tunables.h"

namespace tw {

int WaitReceiveOrStop(IByteDevice& device, int timeoutMs, const std::stop_token& stop) {
  timeoutMs = std::max(timeoutMs, 0);
  if (!stop.stop_possible()) {
    return device.WaitReceive(timeoutMs);
  }
  const int slice = std::max(GetTunables().stopCheckMs, 1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (stop.stop_requested()) {
      return 0;
    }
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    int result = device.WaitReceive(static_cast<int>(std::clamp<long long>(left.count(), 0, slice)));
    if (result != 0) {
      return result;
    }
    if (left.count() <= slice) {
      return 0;
    }
  }
}

}  // namespace tw
