// The phone image cut into its download packets: one 1031-byte record per
// KiB of the image, laid out like the body of the phone protocol's data
// packet (5 zero bytes, 1024 as 16-bit little-endian, 1024 image bytes).
// Packet i holds the image's bytes i * 1024 to i * 1024 + 1023; the bytes
// of the last packet beyond the end of the source file stay 0.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/file.h"
#include "platform/wintypes.h"

namespace tw {

class CDloadFile {
 public:
  static constexpr std::size_t kPacketSize = 1031;
  static constexpr std::size_t kDataOffset = 7;  // the image bytes of a packet begin here
  static constexpr std::size_t kDataSize = 1024;

  // Shows one message to the user (the upgrader's information message box).
  // The default writes the text as a line on stderr.
  using MessageSink = std::function<void(const std::string& text)>;

  CDloadFile();
  virtual ~CDloadFile();
  CDloadFile(const CDloadFile&) = delete;
  CDloadFile& operator=(const CDloadFile&) = delete;

  void SetMessageSink(MessageSink sink);

  // Opens the file at path and takes its length (low 32 bits) as the image
  // size; discards the packets and reads no data. On failure (also for a
  // path that is not a regular file) shows
  // " Fail to read from <path>\n Please Check bin_file !" (or the
  // "Fail to get file info" text) and returns FALSE.
  BOOL OpenFile(const std::string& path);
  // Cuts the file opened by OpenFile into packets from offset 0.
  // FALSE when no file is open or the packets cannot be allocated.
  BOOL MakePackets();
  // Cuts size bytes of an open file into packets, from its current position.
  // FALSE when file is null or the packets cannot be allocated.
  BOOL LoadFromFile(CFile* file, DWORD size);

  DWORD GetSize() const { return m_nSize; }
  // Number of packets held: size / 1024 rounded up, 0 when there are none.
  DWORD GetPacketCount() const { return m_pPackets ? m_nPacketCount : 0; }
  // Packet i; no range check: the caller stays below the packet count.
  BYTE* GetPacket(DWORD i) { return m_pPackets.get() + std::size_t{i} * kPacketSize; }
  const BYTE* GetPacket(DWORD i) const { return m_pPackets.get() + std::size_t{i} * kPacketSize; }
  // The kDataSize image bytes of packet i, read-only; the same range rule.
  std::span<const BYTE> PacketData(DWORD i) const { return {GetPacket(i) + kDataOffset, kDataSize}; }
  const std::string& GetPath() const { return m_strPath; }

 private:
  BOOL BuildPackets(CFile& file, std::int64_t base);
  void ShowMessage(const std::string& text) const;

  CFile m_File;
  DWORD m_nSize = 0;
  std::string m_strPath;
  std::unique_ptr<BYTE[]> m_pPackets;
  DWORD m_nPacketCount = 0;
  MessageSink m_messageSink;
};

}  // namespace tw
