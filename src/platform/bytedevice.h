// One open, exclusive byte channel to a device: the handset's USB download
// interface or its modem port. Backends: tty (termios), libusb, and the
// simulated handset's in-process channel.
//
// Every call is bounded: nothing here blocks longer than the time-out it is
// given. A device that has gone away makes every call fail at once.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

namespace tw {

class IByteDevice {
 public:
  virtual ~IByteDevice() = default;

  // Number of received bytes waiting to be read; -1 when the device is gone.
  virtual long BytesWaiting() = 0;

  // Waits at most timeoutMs for received data.
  // Returns 1 when data waits, 0 when the time ran out, -1 when the device is gone.
  virtual int WaitReceive(int timeoutMs) = 0;

  // Reads at most n of the bytes already waiting, without blocking.
  // Returns the count read (0 when none wait), -1 on failure.
  virtual long Read(void* dst, std::size_t n) = 0;

  // Writes all n bytes, retrying partial writes, within timeoutMs.
  // Returns false on failure, on a vanished device or when the time ran out.
  virtual bool Write(const void* src, std::size_t n, int timeoutMs) = 0;

  // Drops whatever waits in either direction.
  virtual void Purge() = 0;

  // Whether every message the device sends arrives in one piece (a bulk USB
  // pipe), so that a short read is a short message. A byte stream (a tty)
  // may deliver a message in pieces.
  virtual bool DeliversWholeMessages() const { return false; }
};

}  // namespace tw
