#include "platform/tunables.h"

#include <cstdlib>

namespace tw {

namespace {

void Override(const char* name, int& value) {
  if (const char* text = std::getenv(name)) {
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && parsed >= 0 && parsed <= 24L * 3600 * 1000) {
      value = static_cast<int>(parsed);
    }
  }
}

}  // namespace

Tunables Tunables::FromEnvironment() {
  Tunables t;
  Override("TIDEWELL_USB_READ_PASS_MS", t.usbReadPassMs);
  Override("TIDEWELL_WRITE_TIMEOUT_MS", t.writeTimeoutMs);
  Override("TIDEWELL_SERIAL_RX_WAIT_MS", t.serialRxWaitMs);
  return t;
}

const Tunables& GetTunables() {
  static const Tunables tunables = Tunables::FromEnvironment();
  return tunables;
}

}  // namespace tw
