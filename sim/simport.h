// The handset's end of its connections to the host, whatever carries them
// (pseudo-terminals or the in-process channel).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tw::sim {

// One connection as the handset sees it. Destroying it takes the device
// away from the host (a removal).
class ISimPort {
 public:
  virtual ~ISimPort() = default;
  // Waits at most timeoutMs for the host to open its end; true once it has.
  virtual bool WaitOpened(int timeoutMs) = 0;
  // Receives at most n bytes, waiting at most timeoutMs for the first.
  // Returns the count, 0 when the time ran out, -1 when the host closed its end.
  virtual long Receive(std::uint8_t* dst, std::size_t n, int timeoutMs) = 0;
  // Sends n bytes to the host; false when the host's end is gone.
  virtual bool Send(const std::uint8_t* src, std::size_t n) = 0;
  // Gives the host at most timeoutMs to take what was sent, before the
  // device goes away; true when it has (as far as the transport can tell).
  virtual bool WaitDrained(int timeoutMs) = 0;
};

// Makes the handset's devices appear to the host.
class ISimTransport {
 public:
  virtual ~ISimTransport() = default;
  // The PDA download interface ("pda0") arrives. Null on failure.
  virtual std::unique_ptr<ISimPort> AnnouncePda() = 0;
  // The modem's port COM<n> arrives. Null on failure.
  virtual std::unique_ptr<ISimPort> AnnounceCom(int n) = 0;
};

}  // namespace tw::sim
