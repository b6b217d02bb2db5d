// How the phone exchange paces itself after writing a frame: the documented
// fixed pause before the answer is read, or a bounded wait for the whole
// answer to that frame. The bytes written are the same either way.
#pragma once

namespace tw {

enum class PhonePacing {
  Fixed,   // sleep the exchange's pause, then read what waits
  Answer,  // read until the answer to the frame just written is whole
};

}  // namespace tw
