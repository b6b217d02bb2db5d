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
  // A serial read for a given count waits at most this long for the bytes.
  int serialReadTotalMs = 1000;
  // Waits that observe a stop request look at it at least this often.
  int stopCheckMs = 20;

  // The completion waits of the EBOOT and OS-image downloads end as a failed
  // run after this long, measured by the downloader's clock ...
  int completionWaitMs = 120000;
  // ... or after this many polls in a row that got no reply at all (a count).
  int completionSilentReads = 3;
  // The phone's answer to a frame is awaited for the exchange's time-out
  // argument, but at least this long: a real modem answers a jump or a 1 KiB
  // block well within it, while the block exchange's own argument (10 ms) is
  // too short for any modem. An expired wait is an attempt without an answer.
  int phoneRxFloorMs = 2000;
  // A reply of the handset that has begun to arrive is completed: its next
  // piece is awaited this long before the reply counts as short. A byte
  // stream (a tty) may deliver one reply in pieces; a bulk USB pipe never.
  int replyQuietMs = 20;

  // The window shows a worker's reports at most once per this period (its
  // frame); reports in between are merged, the latest text and position win.
  int uiFrameMs = 20;
  // Closing the window waits this long before it deletes the downloaders.
  int closeGraceMs = 2000;
  // Start-up waits at most this long for an older upgrader's process to end.
  int olderUpgraderWaitMs = 5000;
  // A libusb transfer that was called back (or whose event thread stalled)
  // must come back within this time; closing waits this long for them.
  int usbCancelWaitMs = 2000;

  // The simulated handset: a message left unfinished while the host is quiet
  // this long is reported as one of the wrong length; ...
  int simQuietMs = 500;
  // ... after its reply to a phone-only run's PDA_CMD_PHONE_MODE it gives the
  // host this long to read it before it leaves the USB side; ...
  int simPhoneModeDrainMs = 300;
  // ... once the last phone region is written it waits this long for the host
  // to close the port; ...
  int simPhoneDoneLingerMs = 5000;
  // ... and a reply to the host must be taken within this time.
  int simSendTimeoutMs = 5000;
  // On a pty the simulated handset speaks first only this long after the
  // host's open, which ends by flushing the line.
  int simOpenSettleMs = 50;

  // Reads the overrides from the environment (TIDEWELL_USB_READ_PASS_MS, ...).
  static Tunables FromEnvironment();
};

// The process's tunables, read once from the environment.
const Tunables& GetTunables();

}  // namespace tw
