// Frames arbitrary payloads in every mode and checks that a receiver gets the
// payload back: flags at both ends, nothing special left unescaped, the check
// sequence right, the padding byte exactly where a frame hits 64 bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "phonedown/cmsmpacket/pkt.h"
#include "platform/crc16x25.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Undoes the framing of modes 0 to 2; plain says the payload was not stuffed.
std::vector<std::uint8_t> Unframe(const std::vector<std::uint8_t>& frame, std::size_t payloadSize,
                                  bool plain) {
  Require(frame.size() >= 4 && frame.front() == tw::kFrameFlag);
  const bool padded = frame.back() == 0x00;
  const std::size_t end = padded ? frame.size() - 1 : frame.size();
  Require(frame[end - 1] == tw::kFrameFlag);
  Require((end % tw::kFramePadBoundary == 0) == padded);
  std::vector<std::uint8_t> body;
  for (std::size_t i = 1; i + 1 < end; ++i) {
    const bool inPayload = body.size() < payloadSize;
    if (plain && inPayload) {
      body.push_back(frame[i]);
      continue;
    }
    Require(frame[i] != tw::kFrameFlag && frame[i] != 0x7F);
    if (frame[i] == tw::kFrameEscape) {
      Require(i + 2 < end);
      body.push_back(static_cast<std::uint8_t>(frame[++i] ^ tw::kFrameEscapeXor));
    } else {
      body.push_back(frame[i]);
    }
  }
  Require(body.size() == payloadSize + 2);
  const std::vector<std::uint8_t> payload(body.begin(), body.end() - 2);
  Require(tw::Crc16X25(payload) == (body[payloadSize] | body[payloadSize + 1] << 8));
  return payload;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int mode = data[0] % 4;
  const std::vector<std::uint8_t> payload(data + 1, data + size);
  std::vector<std::uint8_t> frame(tw::FrameCapacity(payload.size()));
  tw::CMsmPacket packet;
  frame.resize(packet.MakeFrame(frame, payload, mode));
  if (mode == tw::kFrameRaw) {
    const std::size_t skipped = payload.size() > 7 ? 7 : payload.size();
    Require(frame ==
            std::vector<std::uint8_t>(payload.begin() + static_cast<std::ptrdiff_t>(skipped), payload.end()));
    return 0;
  }
  Require(Unframe(frame, payload.size(), mode == tw::kFramePlain) == payload);
  return 0;
}
