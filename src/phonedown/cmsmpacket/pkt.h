// CMsmPacket builds every frame the phone download sends to the modem's
// download monitor: HDLC-like frames (flags, byte stuffing, CRC-16/X.25) and
// raw data blocks. Each builder writes into the caller's buffer and returns the
// number of bytes written; 0 means nothing usable was written (the buffer is
// too small, the mode is unknown, or the input is too short).
#pragma once
#include <cstddef>
#include <span>

#include "platform/wintypes.h"

namespace tw {

// Framing modes of MakeFrame.
inline constexpr int kFrameStuffed = 0;     // flags, stuffed payload, stuffed check sequence
inline constexpr int kFrameStuffedAlt = 1;  // the same bytes as kFrameStuffed
inline constexpr int kFramePlain = 2;       // flags, payload as is, stuffed check sequence
inline constexpr int kFrameRaw = 3;         // payload from index 7 on, nothing added

inline constexpr BYTE kFrameFlag = 0x7E;
inline constexpr BYTE kFrameEscape = 0x7D;
inline constexpr BYTE kFrameEscapeXor = 0x20;
// A frame this long (or a multiple), up to its closing flag, gets one 0x00 behind it.
inline constexpr std::size_t kFramePadBoundary = 64;
// Largest payload a frame may carry (its length is a 16-bit count).
inline constexpr std::size_t kMaxFramePayload = 0xFFFF;
// Worst case of a framed payload of n bytes: 2n + 7.
constexpr std::size_t FrameCapacity(std::size_t payload) {
  return 2 * payload + 7;
}

// Data blocks: a 7-byte header (0xDD, address, length) that is never sent, then the data.
inline constexpr std::size_t kDataBlockSize = 1024;
inline constexpr std::size_t kDataHeaderSize = 7;
inline constexpr std::size_t kDataBodySize = kDataHeaderSize + kDataBlockSize;
// Payload sizes of the erase and EFS commands.
inline constexpr std::size_t kErasePayloadSize = 13;
inline constexpr std::size_t kEfsPayloadSize = 13;

// Command bytes of the frames.
inline constexpr BYTE MSM_CMD_JUMP = 0xA0;
inline constexpr BYTE MSM_CMD_ERASE = 0xEF;
inline constexpr BYTE MSM_CMD_DATA = 0xDD;
inline constexpr BYTE MSM_CMD_EFS = 0xE0;

class CMsmPacket {
 public:
  CMsmPacket() = default;

  // Frames all of src in the given mode (kFrameStuffed ... kFrameRaw).
  std::size_t MakeFrame(std::span<BYTE> dst, std::span<const BYTE> src, int mode);

  // The packets of the phone download.
  std::size_t MakeJumpPacket(std::span<BYTE> dst);
  std::size_t MakeErasePacket(std::span<BYTE> dst, DWORD start, DWORD length);
  // data must hold at least 1024 bytes; the result is always those 1024 bytes, raw.
  std::size_t MakeDataPacket(std::span<BYTE> dst, DWORD address, WORD length, std::span<const BYTE> data);
  std::size_t MakeEfsPacket(std::span<BYTE> dst);
};

}  // namespace tw
