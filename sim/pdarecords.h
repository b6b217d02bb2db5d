// The PDA download as the handset's agent sees it on the USB channel: raw
// little-endian records with no framing or checksum. The host writes a
// command record of three words (code, image size, NAND mask), the EBOOT
// records with 1000 image bytes behind the words, and 1024-byte OS packets
// (type 1 and 15 zero bytes, then 1008 image bytes); the handset sends its
// hello and replies (12 bytes, the code in byte 0), its acknowledgements and
// its 16-byte data requests.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tw::sim {

// Command codes, word 0 of a command record.
enum PdaCommand : std::uint32_t {
  kCmdEbootInfo = 12,     // EBOOT size and NAND mask: a ready reply follows
  kCmdOsInfo = 13,        // OS image size: data requests follow
  kCmdPhoneMode = 14,     // phone image size: the handset turns into its modem
  kCmdHelloAck = 16,      // the hello is answered
  kCmdEbootEnd = 17,      // the last EBOOT record is out: replies until ready
  kCmdFinish = 20,        // the run ends without a hand-over
  kCmdImageDone = 25,     // an image is closed
  kCmdPoll = 26,          // asks for the next acknowledgement, reply or request
  kCmdAfterConnect = 27,  // sent once after the handshake
  kCmdEbootData = 50,     // one EBOOT record
};

// Byte 0 of the handset's hello and replies.
inline constexpr std::uint8_t kRspHello = 0x0A;
inline constexpr std::uint8_t kRspReady = 0x0F;
inline constexpr std::uint8_t kRspOsDone = 0x12;
// Word 0 of a data request, and byte 0 (type) of an OS packet.
inline constexpr std::uint32_t kDataType = 1;

// What the host writes.
inline constexpr std::size_t kCommandBytes = 12;  // the three words
inline constexpr std::size_t kEbootEndBytes = 100;
inline constexpr std::size_t kEbootChunk = 1000;  // image bytes of one EBOOT record
inline constexpr std::size_t kEbootRecordBytes = kCommandBytes + kEbootChunk;
inline constexpr std::size_t kOsPacketHeader = 16;
inline constexpr std::size_t kOsChunk = 1008;  // image bytes of one OS packet
inline constexpr std::size_t kOsPacketBytes = kOsPacketHeader + kOsChunk;
// What the handset sends.
inline constexpr std::size_t kReplyBytes = 12;
inline constexpr std::size_t kRequestBytes = 16;
inline constexpr std::size_t kOsAckBytes = 4;

// The bytes of the host's message that begins with this word: an OS packet,
// one of the command records, or 0 for a word that begins none.
std::size_t HostMessageBytes(std::uint32_t word0);

}  // namespace tw::sim
