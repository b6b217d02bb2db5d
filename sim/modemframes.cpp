#include "sim/modemframes.h"

#include "platform/crc16x25.h"

namespace tw::sim {

namespace {

void PutEscaped(std::vector<std::uint8_t>& out, std::uint8_t b) {
  if (IsEscaped(b)) {
    out.push_back(kEscape);
    out.push_back(static_cast<std::uint8_t>(b ^ kEscapeXor));
  } else {
    out.push_back(b);
  }
}

}  // namespace

std::vector<std::uint8_t> AnswerFrame(std::uint8_t code) {
  const std::uint8_t payload[] = {code};
  const std::uint16_t check = Crc16X25(payload);
  std::vector<std::uint8_t> frame{kFlag};
  PutEscaped(frame, code);
  PutEscaped(frame, static_cast<std::uint8_t>(check));
  PutEscaped(frame, static_cast<std::uint8_t>(check >> 8));
  frame.push_back(kFlag);
  if (frame.size() % kPadBoundary == 0) {
    frame.push_back(0x00);
  }
  return frame;
}

}  // namespace tw::sim
