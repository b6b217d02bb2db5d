// CRC-16/X.25 (the FCS-16 of RFC 1662), the frame check sequence of the
// phone download frames, shared by the simulated handset:
// reflected polynomial 0x1021 (0x8408 shifting right), initial value 0xFFFF,
// final XOR 0xFFFF. "123456789" gives 0x906E.
#pragma once
#include <array>
#include <cstdint>
#include <span>

namespace tw {

inline constexpr std::uint16_t kCrc16X25Init = 0xFFFF;
inline constexpr std::uint16_t kCrc16X25FinalXor = 0xFFFF;
inline constexpr std::uint16_t kCrc16X25Check = 0x906E;

// The 256-entry table of the right-shifting CRC.
extern const std::array<std::uint16_t, 256> kCrc16X25Table;

// One byte into a running CRC (no final XOR).
inline std::uint16_t Crc16X25Update(std::uint16_t crc, std::uint8_t byte) {
  return static_cast<std::uint16_t>((crc >> 8) ^ kCrc16X25Table[(crc ^ byte) & 0xFF]);
}

// The finished check sequence of a run of bytes.
std::uint16_t Crc16X25(std::span<const std::uint8_t> bytes);

}  // namespace tw
