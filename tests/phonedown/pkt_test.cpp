#include "phonedown/cmsmpacket/pkt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <vector>

#include "platform/crc16x25.h"

namespace tw {
namespace {

using Bytes = std::vector<BYTE>;

bool IsSpecial(BYTE byte) {
  return byte == 0x7D || byte == 0x7E || byte == 0x7F;
}

// Stuffs the way the monitor expects, for building expected frames by hand.
void AppendStuffed(Bytes& out, BYTE byte) {
  if (IsSpecial(byte)) {
    out.push_back(0x7D);
    out.push_back(static_cast<BYTE>(byte ^ 0x20));
  } else {
    out.push_back(byte);
  }
}

// The expected frame of a payload, built from the rules rather than the code.
Bytes ExpectedFrame(const Bytes& payload, bool stuffPayload) {
  Bytes out{0x7E};
  for (BYTE byte : payload) {
    if (stuffPayload) {
      AppendStuffed(out, byte);
    } else {
      out.push_back(byte);
    }
  }
  const std::uint16_t fcs = Crc16X25(payload);
  AppendStuffed(out, static_cast<BYTE>(fcs & 0xFF));
  AppendStuffed(out, static_cast<BYTE>(fcs >> 8));
  out.push_back(0x7E);
  if (out.size() % 64 == 0) out.push_back(0x00);
  return out;
}

// Decodes a stuffed frame as the monitor would: flags off, unstuffed, check sequence verified.
bool DecodeFrame(const Bytes& frame, Bytes& payload) {
  if (frame.size() < 4 || frame.front() != 0x7E) return false;
  Bytes body;
  std::size_t i = 1;
  for (; i < frame.size() && frame[i] != 0x7E; ++i) {
    if (frame[i] == 0x7D) {
      if (++i == frame.size()) return false;
      body.push_back(static_cast<BYTE>(frame[i] ^ 0x20));
    } else {
      body.push_back(frame[i]);
    }
  }
  if (i == frame.size() || body.size() < 2) return false;
  payload.assign(body.begin(), body.end() - 2);
  const std::uint16_t fcs = static_cast<std::uint16_t>(body[body.size() - 2] | (body.back() << 8));
  return fcs == Crc16X25(payload);
}

Bytes Build(const std::function<std::size_t(std::span<BYTE>)>& builder) {
  Bytes out(5120);
  out.resize(builder(out));
  return out;
}

Bytes Frame(const Bytes& payload, int mode) {
  CMsmPacket packet;
  return Build([&](std::span<BYTE> dst) { return packet.MakeFrame(dst, payload, mode); });
}

TEST(CMsmPacket, ExactBytesOfTheFrames) {
  CMsmPacket p;
  struct Case {
    const char* name;
    Bytes actual;
    Bytes expected;
  };
  const Case cases[] = {
      {"jump", Build([&](auto d) { return p.MakeJumpPacket(d); }), {0x7E, 0xA0, 0x72, 0x55, 0x7E}},
      {"erase 0/0x4000",
       Build([&](auto d) { return p.MakeErasePacket(d, 0, 0x4000); }),
       {0x7E, 0xEF, 0, 0, 0, 0, 0x00, 0x40, 0, 0, 0, 0, 0, 0, 0x95, 0x2D, 0x7E}},
      {"erase 0x100000/0x30000",
       Build([&](auto d) { return p.MakeErasePacket(d, 0x100000, 0x30000); }),
       {0x7E, 0xEF, 0, 0, 0, 0, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x10, 0x00, 0x7D, 0x5F, 0x73, 0x7E}},
      {"D2 FF framed", Frame({0xD2, 0xFF}, kFrameStuffed), {0x7E, 0xD2, 0xFF, 0xB4, 0x6C, 0x7E}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
}

TEST(CMsmPacket, EfsFramePayload) {
  CMsmPacket p;
  const Bytes frame = Build([&](auto d) { return p.MakeEfsPacket(d); });
  const Bytes payload{0xE0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes decoded;
  ASSERT_TRUE(DecodeFrame(frame, decoded));
  EXPECT_EQ(decoded, payload);
  EXPECT_EQ(frame, ExpectedFrame(payload, true));
}

TEST(CMsmPacket, EraseFramesCarryLengthThenStart) {
  CMsmPacket p;
  struct Case {
    DWORD start;
    DWORD length;
  };
  const Case cases[] = {{0x00380000, 10'854'896}, {0x7E7D7F00, 0x7F7E7D7E}, {0xFFFFFFFF, 0}, {0, 0xFFFFFFFF}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.start);
    const Bytes frame = Build([&](auto d) { return p.MakeErasePacket(d, c.start, c.length); });
    EXPECT_GE(frame.size(), 17u);
    EXPECT_LE(frame.size(), 33u);
    Bytes payload;
    ASSERT_TRUE(DecodeFrame(frame, payload));
    ASSERT_EQ(payload.size(), 13u);
    EXPECT_EQ(payload[0], 0xEF);
    EXPECT_EQ(payload[1] | payload[2] | payload[3] | payload[4], 0);
    EXPECT_EQ(static_cast<DWORD>(payload[5] | payload[6] << 8 | payload[7] << 16 | payload[8] << 24),
              c.length);
    EXPECT_EQ(static_cast<DWORD>(payload[9] | payload[10] << 8 | payload[11] << 16 | payload[12] << 24),
              c.start);
  }
}

TEST(CMsmPacket, PayloadStuffingByMode) {
  struct Case {
    Bytes payload;
    int mode;
    bool stuffed;
  };
  const Case cases[] = {
      {{0x7D}, kFrameStuffed, true},
      {{0x7E}, kFrameStuffed, true},
      {{0x7F}, kFrameStuffed, true},
      {{0x7F}, kFrameStuffedAlt, true},
      {{0x7F}, kFramePlain, false},
      {{0x7E, 0x7D, 0x7C, 0x80}, kFrameStuffedAlt, true},
      {{0x7E, 0x7D, 0x7C, 0x80}, kFramePlain, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.payload) + " mode " + std::to_string(c.mode));
    EXPECT_EQ(Frame(c.payload, c.mode), ExpectedFrame(c.payload, c.stuffed));
  }
  // 0x7F on its own, byte for byte.
  const Bytes stuffed = Frame({0x7F}, kFrameStuffed);
  EXPECT_EQ(Bytes(stuffed.begin() + 1, stuffed.begin() + 3), (Bytes{0x7D, 0x5F}));
  EXPECT_EQ(Frame({0x7F}, kFramePlain)[1], 0x7F);
}

TEST(CMsmPacket, ModesZeroAndOneAgree) {
  Bytes payload(300);
  std::iota(payload.begin(), payload.end(), BYTE{0});
  for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{127}, std::size_t{300}}) {
    const Bytes part(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EQ(Frame(part, kFrameStuffed), Frame(part, kFrameStuffedAlt)) << length;
  }
}

// Finds a two-byte payload whose check sequence has `value` as its low or high byte.
Bytes PayloadWithFcsByte(BYTE value, bool high) {
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const Bytes payload{static_cast<BYTE>(a), static_cast<BYTE>(b)};
      if (IsSpecial(payload[0]) || IsSpecial(payload[1])) continue;
      const std::uint16_t fcs = Crc16X25(payload);
      if ((high ? fcs >> 8 : fcs & 0xFF) == value) return payload;
    }
  }
  return {};
}

TEST(CMsmPacket, CheckSequenceIsStuffedInEveryFramedMode) {
  for (BYTE value : {BYTE{0x7D}, BYTE{0x7E}, BYTE{0x7F}}) {
    for (bool high : {false, true}) {
      const Bytes payload = PayloadWithFcsByte(value, high);
      ASSERT_EQ(payload.size(), 2u);
      for (int mode : {kFrameStuffed, kFrameStuffedAlt, kFramePlain}) {
        SCOPED_TRACE(testing::Message()
                     << "fcs byte " << int{value} << (high ? " high" : " low") << " mode " << mode);
        const Bytes frame = Frame(payload, mode);
        EXPECT_EQ(frame, ExpectedFrame(payload, true));
        // The escaped byte sits where the check sequence is: after the payload, or after its low byte.
        const std::size_t at = high ? (IsSpecial(frame[3]) ? 5 : 4) : 3;
        EXPECT_EQ(frame[at], 0x7D);
        EXPECT_EQ(frame[at + 1], value ^ 0x20);
      }
    }
  }
}

// A payload of `length` ordinary bytes whose check sequence needs no stuffing,
// so its frame is exactly length + 4 bytes up to the closing flag.
Bytes PlainPayload(std::size_t length, BYTE special = 0, std::size_t specials = 0) {
  Bytes payload(length, 0x41);
  for (std::size_t i = 0; i < specials; ++i) payload[i] = special;
  for (int last = 0; last < 256; ++last) {
    payload.back() = static_cast<BYTE>(0x80 + last % 0x70);
    const std::uint16_t fcs = Crc16X25(payload);
    if (!IsSpecial(static_cast<BYTE>(fcs & 0xFF)) && !IsSpecial(static_cast<BYTE>(fcs >> 8))) return payload;
  }
  return {};
}

TEST(CMsmPacket, PaddingByteAfterWholeMultiplesOf64) {
  struct Case {
    Bytes payload;
    int mode;
    std::size_t frameLength;  // up to the closing flag
    bool padded;
  };
  const Case cases[] = {
      {PlainPayload(59), kFrameStuffed, 63, false},
      {PlainPayload(60), kFrameStuffed, 64, true},
      {PlainPayload(61), kFrameStuffed, 65, false},
      {PlainPayload(124), kFrameStuffed, 128, true},
      {PlainPayload(58, 0x7E, 2), kFrameStuffed, 64, true},  // stuffing makes it 64
      {PlainPayload(58, 0x7E, 2), kFramePlain, 62, false},
      {PlainPayload(60, 0x7F, 3), kFramePlain, 64, true},
      {PlainPayload(188), kFrameStuffedAlt, 192, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frameLength);
    ASSERT_FALSE(c.payload.empty());
    const Bytes frame = Frame(c.payload, c.mode);
    ASSERT_EQ(frame.size(), c.frameLength + (c.padded ? 1 : 0));
    EXPECT_EQ(frame[c.frameLength - 1], 0x7E);
    if (c.padded) {
      EXPECT_EQ(frame.back(), 0x00);
    }
  }
}

TEST(CMsmPacket, DataPacketIsTheRawBlock) {
  Bytes block(kDataBlockSize);
  std::iota(block.begin(), block.end(), BYTE{0x70});  // holds 0x7D, 0x7E and 0x7F four times each
  CMsmPacket p;
  Bytes out(5120, 0xEE);
  ASSERT_EQ(p.MakeDataPacket(out, 0x00380000, 1024, block), 1024u);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), out.begin()));
  EXPECT_EQ(out[1024], 0xEE);  // nothing behind the block

  // A buffer of exactly one block is enough; a shorter block or buffer gives nothing.
  Bytes exact(kDataBlockSize);
  EXPECT_EQ(p.MakeDataPacket(exact, 0, 1024, block), 1024u);
  Bytes tooSmall(kDataBlockSize - 1);
  EXPECT_EQ(p.MakeDataPacket(tooSmall, 0, 1024, block), 0u);
  const Bytes shortBlock(kDataBlockSize - 1, 0x55);
  EXPECT_EQ(p.MakeDataPacket(out, 0, 1024, shortBlock), 0u);
}

TEST(CMsmPacket, RawModeSendsFromIndexSeven) {
  const Bytes body{1, 2, 3, 4, 5, 6, 7, 0x7E, 0x7D, 0x00};
  EXPECT_EQ(Frame(body, kFrameRaw), (Bytes{0x7E, 0x7D, 0x00}));
  EXPECT_TRUE(Frame(Bytes(7, 1), kFrameRaw).empty());
  EXPECT_TRUE(Frame({}, kFrameRaw).empty());
}

TEST(CMsmPacket, PlainModeFramesTheBodyUnstuffed) {
  Bytes body(kDataBodySize);
  std::iota(body.begin(), body.end(), BYTE{0});
  EXPECT_EQ(Frame(body, kFramePlain), ExpectedFrame(body, false));
}

TEST(CMsmPacket, RefusesWhatItCannotFrame) {
  CMsmPacket p;
  const Bytes payload(40, 0x7E);  // worst case: every byte stuffed
  Bytes worst(FrameCapacity(payload.size()));
  EXPECT_GT(p.MakeFrame(worst, payload, kFrameStuffed), 0u);

  Bytes small(10);
  EXPECT_EQ(p.MakeFrame(small, payload, kFrameStuffed), 0u);
  Bytes none;
  EXPECT_EQ(p.MakeJumpPacket(none), 0u);
  Bytes four(4);
  EXPECT_EQ(p.MakeJumpPacket(four), 0u);
  Bytes big(FrameCapacity(kMaxFramePayload + 1));
  const Bytes tooLong(kMaxFramePayload + 1, 0x11);
  EXPECT_EQ(p.MakeFrame(big, tooLong, kFrameStuffed), 0u);
  for (int mode : {-1, 4, 255}) EXPECT_EQ(p.MakeFrame(big, payload, mode), 0u) << mode;
}

}  // namespace
}  // namespace tw
