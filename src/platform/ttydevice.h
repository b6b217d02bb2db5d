// A serial device (termios) as an exclusive, raw byte channel: 115200 8N1,
// no echo, no byte translation, no flow control characters.
#pragma once
#include <memory>
#include <string>

#include "platform/bytedevice.h"

namespace tw {

class CTtyDevice final : public IByteDevice {
 public:
  // Opens path exclusively (TIOCEXCL and a non-blocking flock, which also
  // holds against root), raw at 115200 8N1, with both directions purged.
  // Null on failure, with the reason in *error ("PATH: in use by process
  // 1234 (name)" when another holder has the device); errno is EBUSY when
  // another program holds it, EALREADY when this program does, else as the
  // failing call set it.
  static std::unique_ptr<CTtyDevice> Open(const std::string& path, std::string* error);
  // Whether Open's exclusive open would succeed now: opens and locks path,
  // then closes it at once, leaving its settings alone. False as Open fails.
  static bool TryOpen(const std::string& path, std::string* error);

  CTtyDevice(const CTtyDevice&) = delete;
  CTtyDevice& operator=(const CTtyDevice&) = delete;
  ~CTtyDevice() override;

  long BytesWaiting() override;
  int WaitReceive(int timeoutMs) override;
  long Read(void* dst, std::size_t n) override;
  bool Write(const void* src, std::size_t n, int timeoutMs) override;
  void Purge() override;

 private:
  explicit CTtyDevice(int fd) : m_fd(fd) {}

  int m_fd;
};

}  // namespace tw
