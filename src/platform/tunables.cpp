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
  Override("TIDEWELL_SERIAL_READ_TOTAL_MS", t.serialReadTotalMs);
  Override("TIDEWELL_STOP_CHECK_MS", t.stopCheckMs);
  Override("TIDEWELL_COMPLETION_WAIT_MS", t.completionWaitMs);
  Override("TIDEWELL_COMPLETION_SILENT_READS", t.completionSilentReads);
  Override("TIDEWELL_PHONE_RX_FLOOR_MS", t.phoneRxFloorMs);
  Override("TIDEWELL_REPLY_QUIET_MS", t.replyQuietMs);
  Override("TIDEWELL_UI_FRAME_MS", t.uiFrameMs);
  Override("TIDEWELL_CLOSE_GRACE_MS", t.closeGraceMs);
  Override("TIDEWELL_OLDER_UPGRADER_WAIT_MS", t.olderUpgraderWaitMs);
  Override("TIDEWELL_USB_CANCEL_WAIT_MS", t.usbCancelWaitMs);
  Override("TIDEWELL_SIM_QUIET_MS", t.simQuietMs);
  Override("TIDEWELL_SIM_PHONE_MODE_DRAIN_MS", t.simPhoneModeDrainMs);
  Override("TIDEWELL_SIM_PHONE_DONE_LINGER_MS", t.simPhoneDoneLingerMs);
  Override("TIDEWELL_SIM_SEND_TIMEOUT_MS", t.simSendTimeoutMs);
  Override("TIDEWELL_SIM_OPEN_SETTLE_MS", t.simOpenSettleMs);
  return t;
}

const Tunables& GetTunables() {
  static const Tunables tunables = Tunables::FromEnvironment();
  return tunables;
}

}  // namespace tw
