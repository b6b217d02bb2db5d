#include "platform/crc16x25.h"

namespace tw {

namespace {

constexpr std::uint16_t kReflectedPolynomial = 0x8408;

constexpr std::array<std::uint16_t, 256> MakeTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned index = 0; index < table.size(); ++index) {
    unsigned crc = index;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ kReflectedPolynomial : crc >> 1;
    table[index] = static_cast<std::uint16_t>(crc);
  }
  return table;
}

}  // namespace

constinit const std::array<std::uint16_t, 256> kCrc16X25Table = MakeTable();

std::uint16_t Crc16X25(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = kCrc16X25Init;
  for (std::uint8_t byte : bytes) crc = Crc16X25Update(crc, byte);
  return static_cast<std::uint16_t>(crc ^ kCrc16X25FinalXor);
}

}  // namespace tw
