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

}  // namespace tw
