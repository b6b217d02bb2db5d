#include "firmware/dloadfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

namespace tw {

namespace {

// The file is read in pieces of this many bytes (a whole number of packets)
// and cut into packets in memory: the same packets as one read per KiB,
// with far fewer calls.
constexpr std::size_t kReadChunk = 256 * CDloadFile::kDataSize;

void StdErrMessage(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

DWORD PacketCount(DWORD size) {
  return size / CDloadFile::kDataSize + (size % CDloadFile::kDataSize != 0 ? 1 : 0);
}

// Writes one packet: five zero bytes, 1024 as 16-bit LE, the have bytes of
// data, zeros for the rest.
void FillPacket(BYTE* packet, const BYTE* data, std::size_t have) {
  std::memset(packet, 0, 5);
  packet[5] = static_cast<BYTE>(CDloadFile::kDataSize & 0xFF);
  packet[6] = static_cast<BYTE>(CDloadFile::kDataSize >> 8);
  std::memcpy(packet + CDloadFile::kDataOffset, data, have);
  std::memset(packet + CDloadFile::kDataOffset + have, 0, CDloadFile::kDataSize - have);
}

}  // namespace

CDloadFile::CDloadFile() : m_messageSink(StdErrMessage) {}

CDloadFile::~CDloadFile() = default;

void CDloadFile::SetMessageSink(MessageSink sink) {
  m_messageSink = sink ? std::move(sink) : StdErrMessage;
}

void CDloadFile::ShowMessage(const std::string& text) const {
  m_messageSink(text);
}

BOOL CDloadFile::OpenFile(const std::string& path) {
  // 1. Forget the previous image.
  m_nSize = 0;
  m_strPath.clear();
  m_pPackets.reset();
  m_nPacketCount = 0;
  // 2. Keep the path; 3. close the file that was open.
  m_strPath = path;
  m_File.Close();
  // 4. Open the file.
  if (!m_File.Open(path, CFile::modeRead | CFile::shareDenyRead)) {
    ShowMessage(" Fail to read from " + path + "\n Please Check bin_file !");
    return FALSE;
  }
  // 5. Read its status. A directory or device opens but holds no image.
  CFileStatus status;
  if (!m_File.GetStatus(status)) {
    m_File.Close();
    ShowMessage(" Fail to get file info from " + path + "\n Please Check bin_file !");
    return FALSE;
  }
  if (!status.m_regular) {
    m_File.Close();
    ShowMessage(" Fail to read from " + path + "\n Please Check bin_file !");
    return FALSE;
  }
  // 6. The image size is the file length; only the low 32 bits count.
  m_nSize = static_cast<DWORD>(status.m_size);
  return TRUE;
}

BOOL CDloadFile::MakePackets() {
  if (!m_File.IsOpen()) {
    m_pPackets.reset();
    m_nPacketCount = 0;
    return FALSE;
  }
  return BuildPackets(m_File, 0);
}

BOOL CDloadFile::LoadFromFile(CFile* file, DWORD size) {
  if (file == nullptr) {
    return FALSE;
  }
  m_nSize = size;
  std::int64_t base = file->Seek(0, CFile::current);
  return BuildPackets(*file, base < 0 ? 0 : base);
}

BOOL CDloadFile::BuildPackets(CFile& file, std::int64_t base) {
  // 1. One packet per KiB, rounded up.
  const DWORD count = PacketCount(m_nSize);
  // 2. Replace the packet array; a byte total beyond 32 bits is refused.
  m_pPackets.reset();
  m_nPacketCount = 0;
  const std::uint64_t total = std::uint64_t{count} * kPacketSize;
  if (total > std::numeric_limits<DWORD>::max()) {
    return FALSE;
  }
  if (count == 0) {
    return TRUE;
  }
  std::unique_ptr<BYTE[]> packets(new (std::nothrow) BYTE[total]);
  const std::size_t chunkSize = std::min<std::size_t>(kReadChunk, std::size_t{count} * kDataSize);
  std::unique_ptr<BYTE[]> chunk(new (std::nothrow) BYTE[chunkSize]);
  if (!packets || !chunk) {
    return FALSE;
  }
  // 3. Fill packet i from base + i * 1024; what the file lacks stays 0.
  file.Seek(base, CFile::begin);
  DWORD next = 0;
  while (next < count) {
    const DWORD inChunk = std::min<DWORD>(count - next, static_cast<DWORD>(chunkSize / kDataSize));
    const std::size_t got = file.Read(chunk.get(), std::size_t{inChunk} * kDataSize);
    for (DWORD k = 0; k < inChunk; ++k) {
      const std::size_t from = std::size_t{k} * kDataSize;
      const std::size_t have = from < got ? std::min(kDataSize, got - from) : 0;
      FillPacket(packets.get() + std::size_t{next + k} * kPacketSize, chunk.get() + from, have);
    }
    next += inChunk;
  }
  m_pPackets = std::move(packets);
  m_nPacketCount = count;
  return TRUE;
}

}  // namespace tw
