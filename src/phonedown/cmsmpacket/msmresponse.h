// Classifying the download monitor's answer to a frame. An answer is taken as
// received: never unstuffed, its check sequence never verified.
#pragma once
#include <span>

#include "platform/wintypes.h"

namespace tw {

// Response codes.
inline constexpr BYTE ACK = 0x02;
inline constexpr BYTE NAK_BAD_CRC = 0xA1;

// byteRsp: the second byte when the first is a flag (0x7E) or 0x7F, else the
// first byte; 0 when the answer is empty or holds no code byte.
BYTE GetResponseCode(std::span<const BYTE> response);

// TRUE when the answer begins "OK" or its code is ACK.
BOOL IsAcknowledgement(std::span<const BYTE> response);

// The whole answers among bytes as they arrived. An answer is a frame from
// its flag (0x7E, or 0x7F) to the closing 0x7E, or "OK"; two flags in a row
// close nothing (the second one opens the frame), and bytes outside answers
// are passed over.
struct WholeAnswers {
  std::span<const BYTE> last;  // the last whole answer; empty when none is
  bool bUnfinished = false;    // an answer begun after it has not closed yet
};
WholeAnswers FindWholeAnswers(std::span<const BYTE> bytes);

}  // namespace tw
