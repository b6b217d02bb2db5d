#include "pda/pdacommands.h"

#include <algorithm>
#include <cstring>

#include "platform/byteorder.h"

namespace tw {

namespace {

// Copies at most Data's size into it and zeroes what stays behind.
template <std::size_t N>
std::size_t CopyPadded(std::array<BYTE, N>& data, const BYTE* bytes, std::size_t count) {
  const std::size_t copied = (bytes == nullptr) ? 0 : std::min(count, N);
  if (copied > 0) std::memcpy(data.data(), bytes, copied);
  std::fill(data.begin() + static_cast<std::ptrdiff_t>(copied), data.end(), BYTE{0});
  return copied;
}

// The received bytes as a full-size record, zero where nothing came.
template <std::size_t N>
std::array<BYTE, N> ZeroExtended(const BYTE* bytes, std::size_t count) {
  std::array<BYTE, N> full{};
  if (bytes != nullptr) std::memcpy(full.data(), bytes, std::min(count, N));
  return full;
}

}  // namespace

std::size_t PdaCommandWriteSize(DWORD dwCommand) {
  if (dwCommand == PDA_CMD_EBOOT_DATA) return kDataPacketSize;
  if (dwCommand == PDA_CMD_EBOOT_END) return kPdaEbootEndSize;
  return kPdaCommandSize;
}

void data_packet::Clear() {
  *this = data_packet{};
}

void data_packet::SetCommand(DWORD command, DWORD imageSize, DWORD nandMask) {
  Clear();
  dwCommand = command;
  dwImageSize = imageSize;
  dwNandMask = nandMask;
}

std::size_t data_packet::SetData(const BYTE* bytes, std::size_t count) {
  return CopyPadded(Data, bytes, count);
}

std::array<BYTE, kDataPacketSize> data_packet::Encode() const {
  std::array<BYTE, kDataPacketSize> wire{};
  StoreLe32(&wire[0], dwCommand);
  StoreLe32(&wire[4], dwImageSize);
  StoreLe32(&wire[8], dwNandMask);
  std::copy(Data.begin(), Data.end(), wire.begin() + kPdaCommandSize);
  return wire;
}

data_packet data_packet::Decode(const BYTE* bytes, std::size_t count) {
  const auto wire = ZeroExtended<kDataPacketSize>(bytes, count);
  data_packet record;
  record.dwCommand = LoadLe32(&wire[0]);
  record.dwImageSize = LoadLe32(&wire[4]);
  record.dwNandMask = LoadLe32(&wire[8]);
  std::copy(wire.begin() + kPdaCommandSize, wire.end(), record.Data.begin());
  return record;
}

std::size_t os_data_packet::SetData(const BYTE* bytes, std::size_t count) {
  byType = static_cast<BYTE>(PDA_REQ_DATA);
  return CopyPadded(Data, bytes, count);
}

std::array<BYTE, kWriteBuffSize> os_data_packet::Encode() const {
  std::array<BYTE, kWriteBuffSize> wire{};
  wire[0] = byType;
  std::copy(Data.begin(), Data.end(), wire.begin() + kWriteBuffHeaderSize);
  return wire;
}

os_data_packet os_data_packet::Decode(const BYTE* bytes, std::size_t count) {
  const auto wire = ZeroExtended<kWriteBuffSize>(bytes, count);
  os_data_packet packet;
  packet.byType = wire[0];
  std::copy(wire.begin() + kWriteBuffHeaderSize, wire.end(), packet.Data.begin());
  return packet;
}

std::array<BYTE, kReadHeaderSize> read_header::Encode() const {
  std::array<BYTE, kReadHeaderSize> wire{};
  StoreLe32(&wire[0], dwRequest);
  StoreLe32(&wire[8], dwCount);
  return wire;
}

std::optional<read_header> ParseReadHeader(const BYTE* bytes, std::size_t count) {
  if (bytes == nullptr || count != kReadHeaderSize) return std::nullopt;
  return read_header{LoadLe32(&bytes[0]), LoadLe32(&bytes[8])};
}

}  // namespace tw
