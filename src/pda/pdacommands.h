// The PDA download records and codes on the USB download channel: the command
// record data_packet, the OS-image data packet, the handset's data request and
// messages. Raw bytes, no framing or checksum; words are little-endian.
#pragma once
#include <array>
#include <cstddef>
#include <optional>

#include "platform/wintypes.h"

namespace tw {

// Command codes, host to handset (data_packet::dwCommand).
inline constexpr DWORD PDA_CMD_EBOOT_INFO = 12;
inline constexpr DWORD PDA_CMD_OS_INFO = 13;
inline constexpr DWORD PDA_CMD_PHONE_MODE = 14;
inline constexpr DWORD PDA_CMD_HELLO_ACK = 16;
inline constexpr DWORD PDA_CMD_EBOOT_END = 17;
inline constexpr DWORD PDA_CMD_FINISH = 20;
inline constexpr DWORD PDA_CMD_IMAGE_DONE = 25;
inline constexpr DWORD PDA_CMD_POLL = 26;
inline constexpr DWORD PDA_CMD_AFTER_CONNECT = 27;
inline constexpr DWORD PDA_CMD_EBOOT_DATA = 50;

// Byte 0 of the handset's messages.
inline constexpr BYTE PDA_RSP_HELLO = 0x0A;
inline constexpr BYTE PDA_RSP_READY = 0x0F;
inline constexpr BYTE PDA_RSP_OS_DONE = 0x12;
// The data request type (read_header::dwRequest) and the OS packet type (byType).
inline constexpr DWORD PDA_REQ_DATA = 1;

// Bytes written for a plain command: the three words of data_packet.
inline constexpr std::size_t kPdaCommandSize = 12;
// Bytes written for PDA_CMD_EBOOT_END.
inline constexpr std::size_t kPdaEbootEndSize = 100;
// The whole data_packet, written for PDA_CMD_EBOOT_DATA.
inline constexpr std::size_t kDataPacketSize = 1012;
inline constexpr std::size_t kDataPacketDataSize = 1000;
// The OS-image data packet: 16 header bytes, then the image bytes.
inline constexpr std::size_t kWriteBuffSize = 1024;
inline constexpr std::size_t kWriteBuffHeaderSize = 16;
inline constexpr std::size_t kWriteBuffDataSize = 1008;
// The handset's data request.
inline constexpr std::size_t kReadHeaderSize = 16;
// Read sizes of the hello, a reply and an EBOOT acknowledgement, and of an OS acknowledgement.
inline constexpr std::size_t kPdaReplySize = 12;
inline constexpr std::size_t kPdaOsAckSize = 4;
// Buffers the host reads into: replies (Rvalue, Rvalue2, Rvalue3) and ReadBuff.
inline constexpr std::size_t kPdaReplyBufferSize = 32;
inline constexpr std::size_t kPdaReadBuffSize = 20;

// How many bytes of a data_packet the host writes for a command:
// 1012 for PDA_CMD_EBOOT_DATA, 100 for PDA_CMD_EBOOT_END, else 12.
std::size_t PdaCommandWriteSize(DWORD dwCommand);

// The 1012-byte command record.
struct data_packet {
  DWORD dwCommand = 0;
  DWORD dwImageSize = 0;
  DWORD dwNandMask = 0;
  std::array<BYTE, kDataPacketDataSize> Data{};

  // Clears the whole record to zero.
  void Clear();
  // Clears the record, then sets its three words.
  void SetCommand(DWORD command, DWORD imageSize = 0, DWORD nandMask = 0);
  // Copies at most 1000 bytes into Data, zero behind them; returns the count copied.
  std::size_t SetData(const BYTE* bytes, std::size_t count);
  // The record as it goes over the wire (all 1012 bytes).
  std::array<BYTE, kDataPacketSize> Encode() const;
  // Bytes of Encode() to write for this record's command.
  std::size_t WireSize() const { return PdaCommandWriteSize(dwCommand); }
  // Reads a record from received bytes; missing bytes count as zero.
  static data_packet Decode(const BYTE* bytes, std::size_t count);
};

// The 1024-byte OS-image data packet (writeBuff).
struct os_data_packet {
  BYTE byType = static_cast<BYTE>(PDA_REQ_DATA);
  std::array<BYTE, kWriteBuffDataSize> Data{};

  // Clears the packet, sets byType to PDA_REQ_DATA and copies at most 1008
  // bytes into Data, zero behind them; returns the count copied.
  std::size_t SetData(const BYTE* bytes, std::size_t count);
  // The packet as it goes over the wire (always 1024 bytes).
  std::array<BYTE, kWriteBuffSize> Encode() const;
  // Reads a packet from received bytes; missing bytes count as zero.
  static os_data_packet Decode(const BYTE* bytes, std::size_t count);
};

// The handset's 16-byte data request (readheader): word 0 and word 2.
struct read_header {
  DWORD dwRequest = 0;
  DWORD dwCount = 0;

  // The request as the handset sends it; words 1 and 3 are zero.
  std::array<BYTE, kReadHeaderSize> Encode() const;
};

// A request counts only if exactly 16 bytes came; anything else gives nothing.
std::optional<read_header> ParseReadHeader(const BYTE* bytes, std::size_t count);

}  // namespace tw
