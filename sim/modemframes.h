// The phone download as the modem's download monitor sees it on the COM
// port: commands in HDLC-like frames (0x7E flags; 0x7D, 0x7E and 0x7F sent
// as 0x7D and the byte XOR 0x20; a CRC-16/X.25 check sequence, low byte
// first; one 0x00 behind a frame whose length up to its closing flag is a
// multiple of 64) and, after an erase, raw 1024-byte data blocks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw::sim {

inline constexpr std::uint8_t kFlag = 0x7E;
inline constexpr std::uint8_t kEscape = 0x7D;
inline constexpr std::uint8_t kEscapeXor = 0x20;
inline constexpr std::size_t kPadBoundary = 64;
inline constexpr std::size_t kCheckBytes = 2;

// Command bytes and payload sizes of the frames the monitor takes.
inline constexpr std::uint8_t kJump = 0xA0;   // 1 byte
inline constexpr std::uint8_t kErase = 0xEF;  // 13 bytes: 0xEF, 4 zero bytes, length, start
inline constexpr std::uint8_t kEfs = 0xE0;    // 13 bytes
inline constexpr std::size_t kJumpPayload = 1;
inline constexpr std::size_t kErasePayload = 13;
inline constexpr std::size_t kEfsPayload = 13;
// The blocks an erase announces: its length in 1024-byte blocks, the last
// one partly filled.
inline constexpr std::size_t kBlockBytes = 1024;

// Answer codes.
inline constexpr std::uint8_t kAck = 0x02;
inline constexpr std::uint8_t kNakBadCrc = 0xA1;

// True for the bytes a frame carries escaped.
inline bool IsEscaped(std::uint8_t b) {
  return b == kEscape || b == kFlag || b == 0x7F;
}

// An answer as the monitor sends it: the one-byte payload framed, escaped,
// with its check sequence.
std::vector<std::uint8_t> AnswerFrame(std::uint8_t code);

}  // namespace tw::sim
