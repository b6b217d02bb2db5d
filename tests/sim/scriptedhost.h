// A small scripted host for the simulated handset's tests: opens the
// handset's devices through a provider and speaks both protocols byte by
// byte, with short bounded reads.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/deviceprovider.h"

namespace tw::sim::test {

using Bytes = std::vector<std::uint8_t>;

// Waits for data that should come, and for data that should not.
inline constexpr int kPresentMs = 3000;
inline constexpr int kAbsentMs = 150;

// The bytes the host writes for a command record (12, 100 or 1012 bytes).
Bytes Command(std::uint32_t code, std::uint32_t size = 0, std::uint32_t mask = 0);
// An EBOOT data record carrying image[offset, offset + 1000) of an image.
Bytes EbootRecord(const Bytes& image, std::size_t offset);
// An OS packet carrying n bytes of image from offset.
Bytes OsPacket(const Bytes& image, std::size_t offset, std::size_t n);
// Framed commands, as the host's frame builder makes them.
Bytes Frame(const Bytes& payload);
Bytes JumpFrame();
Bytes EraseFrame(std::uint32_t start, std::uint32_t length);
Bytes EfsFrame();

class ScriptedHost {
 public:
  explicit ScriptedHost(IDeviceProvider& provider) : m_provider(provider) {}

  // Retries until the device opens or the time runs out.
  bool OpenPda(int timeoutMs = kPresentMs);
  bool OpenCom(int n, int timeoutMs = kPresentMs);
  void Close() { m_device.reset(); }
  bool IsOpen() const { return m_device != nullptr; }

  bool Send(const Bytes& bytes);
  // Like the USB read: waits for the first byte, then takes what waits, at most n.
  Bytes ReadUpTo(std::size_t n, int timeoutMs = kPresentMs);
  // Collects exactly n bytes, or what came within the time.
  Bytes ReadExact(std::size_t n, int timeoutMs = kPresentMs);
  // One modem answer: "OK", or a frame from flag to flag. Its code (the
  // second byte of a frame, 0x02 for "OK"); nullopt when none came.
  std::optional<std::uint8_t> ReadAnswer(int timeoutMs = kPresentMs);
  // True when the device has gone away.
  bool Gone();

 private:
  IDeviceProvider& m_provider;
  std::unique_ptr<IByteDevice> m_device;
};

}  // namespace tw::sim::test
