// Every bound on a wait, in one place. Each default can be overridden by an
// environment variable of the same name (milliseconds unless said otherwise);
// the README lists them.
#pragma once
#include <cstdint>

namespace tw {

struct Tunables {
  // One pass of a USB read waits at most this long for the first byte;
  // 200 passes without data end the read with 0.
  int usbReadPassMs = 50;
  // A write to a device must complete within this time.
  int writeTimeoutMs = 5000;
  // The serial receive-event wait ends with mask 0 after this time.
  int serialRxWaitMs = 1000;

  // Reads the overrides from the environment (TIDEWELL_USB_READ_PASS_MS, ...).
  static Tunables FromEnvironment();
};

// The process's tunables, read once from the environment.
const Tunables& GetTunables();

}  // namespace tw
