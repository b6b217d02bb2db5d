// A receive wait on a byte device that also ends on a stop request.
#pragma once
#include <stop_token>

#include "platform/bytedevice.h"
#include "platform/clock.h"

namespace tw {

// Waits at most timeoutMs on the clock for received data, looking at the
// stop request every stopCheckMs (a tunable). Returns 1 when data waits, 0
// when the time ran out or a stop was requested, -1 when the device is gone.
int WaitReceiveOrStop(IByteDevice& device, int timeoutMs, const std::stop_token& stop,
                      IClock& clock = DefaultClock());

}  // namespace tw
