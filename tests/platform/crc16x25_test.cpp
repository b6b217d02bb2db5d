#include "platform/crc16x25.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace tw {
namespace {

// Bit by bit, without the table: the reference the table must agree with.
std::uint16_t BitwiseCrc(const std::vector<std::uint8_t>& bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
  }
  return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

TEST(Crc16X25, KnownValues) {
  struct Case {
    std::vector<std::uint8_t> input;
    std::uint16_t expected;
  };
  const Case cases[] = {
      {Bytes("123456789"), 0x906E},
      {{}, 0x0000},
      {{0xA0}, 0x5572},        // the jump frame's check sequence, 72 55 on the wire
      {{0xD2, 0xFF}, 0x6CB4},  // the 0xD2 frame's, B4 6C on the wire
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Crc16X25(c.input), c.expected);
    EXPECT_EQ(BitwiseCrc(c.input), c.expected);
  }
  EXPECT_EQ(kCrc16X25Check, 0x906E);
}

// The standard's residue: a message followed by its own check sequence (low
// byte first) runs the register to 0xF0B8, which is 0x0F47 after the final XOR.
TEST(Crc16X25, MessageWithItsCheckSequenceGivesTheResidue) {
  for (std::vector<std::uint8_t> message :
       {Bytes("123456789"), Bytes(""), std::vector<std::uint8_t>{0x7E, 0x7D}}) {
    const std::uint16_t fcs = Crc16X25(message);
    message.push_back(static_cast<std::uint8_t>(fcs));
    message.push_back(static_cast<std::uint8_t>(fcs >> 8));
    EXPECT_EQ(Crc16X25(message), 0x0F47);
  }
}

TEST(Crc16X25, TableIsTheStandardOne) {
  EXPECT_EQ(kCrc16X25Table[0], 0x0000);
  EXPECT_EQ(kCrc16X25Table[1], 0x1189);
  EXPECT_EQ(kCrc16X25Table[2], 0x2312);
  EXPECT_EQ(kCrc16X25Table[3], 0x329B);
  EXPECT_EQ(kCrc16X25Table[255], 0x0F78);
  // Every single byte value agrees with the bitwise reference, also after a prefix.
  for (int value = 0; value < 256; ++value) {
    const std::vector<std::uint8_t> input{0x31, static_cast<std::uint8_t>(value)};
    ASSERT_EQ(Crc16X25(input), BitwiseCrc(input)) << value;
  }
}

}  // namespace
}  // namespace tw
