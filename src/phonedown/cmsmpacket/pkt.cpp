#include "phonedown/cmsmpacket/pkt.h"

#include <algorithm>
#include <array>

#include "platform/byteorder.h"
#include "platform/crc16x25.h"

namespace tw {

namespace {

// Appends bytes to the caller's buffer and notes when one did not fit.
class FrameWriter {
 public:
  explicit FrameWriter(std::span<BYTE> dst) : dst_(dst) {}

  void Put(BYTE byte) {
    if (count_ < dst_.size()) {
      dst_[count_++] = byte;
    } else {
      overflow_ = true;
    }
  }

  // A payload or check-sequence byte, escaped when it is a flag, an escape or 0x7F.
  void PutStuffed(BYTE byte) {
    if (byte == kFrameEscape || byte == kFrameFlag || byte == 0x7F) {
      Put(kFrameEscape);
      Put(static_cast<BYTE>(byte ^ kFrameEscapeXor));
    } else {
      Put(byte);
    }
  }

  void PutAll(std::span<const BYTE> bytes) {
    if (count_ + bytes.size() > dst_.size()) {
      overflow_ = true;
      return;
    }
    std::copy(bytes.begin(), bytes.end(), dst_.begin() + static_cast<std::ptrdiff_t>(count_));
    count_ += bytes.size();
  }

  std::size_t count() const { return count_; }
  // The byte count, or 0 when anything was lost.
  std::size_t Result() const { return overflow_ ? 0 : count_; }

 private:
  std::span<BYTE> dst_;
  std::size_t count_ = 0;
  bool overflow_ = false;
};

}  // namespace

std::size_t CMsmPacket::MakeFrame(std::span<BYTE> dst, std::span<const BYTE> src, int mode) {
  // 1. Refuse what the frame format cannot express.
  if (mode < kFrameStuffed || mode > kFrameRaw || src.size() > kMaxFramePayload) return 0;
  FrameWriter out(dst);

  // 2. Mode 3 sends the payload from index 7 on, and nothing else.
  if (mode == kFrameRaw) {
    if (src.size() > kDataHeaderSize) out.PutAll(src.subspan(kDataHeaderSize));
    return out.Result();
  }

  // 3. Opening flag, the payload (stuffed in modes 0 and 1), its check sequence.
  out.Put(kFrameFlag);
  std::uint16_t crc = kCrc16X25Init;
  for (BYTE byte : src) {
    if (mode == kFramePlain) {
      out.Put(byte);
    } else {
      out.PutStuffed(byte);
    }
    crc = Crc16X25Update(crc, byte);
  }
  crc ^= kCrc16X25FinalXor;

  // 4. The check sequence, low byte first, stuffed in every mode; closing flag.
  out.PutStuffed(static_cast<BYTE>(crc & 0xFF));
  out.PutStuffed(static_cast<BYTE>(crc >> 8));
  out.Put(kFrameFlag);

  // 5. A frame of a whole multiple of 64 bytes gets one padding byte.
  if (out.count() % kFramePadBoundary == 0) out.Put(0x00);
  return out.Result();
}

std::size_t CMsmPacket::MakeJumpPacket(std::span<BYTE> dst) {
  const BYTE payload[] = {MSM_CMD_JUMP};
  return MakeFrame(dst, payload, kFrameStuffed);
}

std::size_t CMsmPacket::MakeErasePacket(std::span<BYTE> dst, DWORD start, DWORD length) {
  // The length comes before the start address.
  std::array<BYTE, kErasePayloadSize> payload{};
  payload[0] = MSM_CMD_ERASE;
  StoreLe32(&payload[5], length);
  StoreLe32(&payload[9], start);
  return MakeFrame(dst, payload, kFrameStuffed);
}

std::size_t CMsmPacket::MakeDataPacket(std::span<BYTE> dst, DWORD address, WORD length,
                                       std::span<const BYTE> data) {
  if (data.size() < kDataBlockSize) return 0;
  std::array<BYTE, kDataBodySize> body{};
  body[0] = MSM_CMD_DATA;
  StoreLe32(&body[1], address);
  StoreLe16(&body[5], length);
  std::copy_n(data.begin(), kDataBlockSize, body.begin() + kDataHeaderSize);
  return MakeFrame(dst, body, kFrameRaw);
}

std::size_t CMsmPacket::MakeEfsPacket(std::span<BYTE> dst) {
  // Only the command byte is defined; the rest of the payload is sent as zero.
  std::array<BYTE, kEfsPayloadSize> payload{};
  payload[0] = MSM_CMD_EFS;
  return MakeFrame(dst, payload, kFrameStuffed);
}

}  // namespace tw
