// The phone download's exchange: send a frame, wait for the download
// monitor's answer and classify it.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <span>
#include <thread>

#include "download/download.h"
#include "phonedown/cmsmpacket/msmresponse.h"
#include "platform/tunables.h"

namespace tw {

namespace {

// The answer holds what its code needs: a frame up to its closing flag, two
// bytes behind a leading 0x7F or 'O' ("OK"), else one byte. A full buffer
// counts as complete, since only the first two bytes are examined.
bool ResponseComplete(const BYTE* rx, DWORD n, DWORD capacity) {
  if (n == 0) return false;
  if (n >= capacity) return true;
  if (rx[0] == 0x7E) return n >= 3 && std::find(rx + 2, rx + n, BYTE{0x7E}) != rx + n;
  if (rx[0] == 0x7F || rx[0] == 'O') return n >= 2;
  return true;
}

}  // namespace

int CDownLoad::SendPacket(const BYTE* frame, DWORD length, int attempts, DWORD pause) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (!m_Serial.Write(frame, length)) return NAK_BAD_CRC;
    Sleep(pause);
  }
  return 0;
}

// The wait for each answer lasts the time-out argument, at least the
// phoneRxFloorMs tunable; an expired wait is an attempt without an answer.
int CDownLoad::SendPacketWaitAck(const BYTE* frame, DWORD length, int attempts, DWORD timeout, DWORD pause) {
  std::array<BYTE, 1024> pRxBuff{};
  const DWORD waitMs = std::max<DWORD>(timeout, static_cast<DWORD>(GetTunables().phoneRxFloorMs));
  int code = 0;
  for (int attempt = 0; attempt < attempts && !Stopping(); ++attempt) {
    if (!m_Serial.Write(frame, length)) return NAK_BAD_CRC;
    Sleep(pause);
    const DWORD n = ReadResponse(pRxBuff.data(), static_cast<DWORD>(pRxBuff.size()), waitMs);
    std::this_thread::yield();
    if (n == 0) continue;
    const std::span<const BYTE> response(pRxBuff.data(), n);
    code = GetResponseCode(response);
    if (IsAcknowledgement(response)) return ACK;
  }
  return code;
}

// Collects an answer into pRxBuff: waits for a received character, then takes
// whatever waits until a read brings nothing, and waits again (within the same
// bound) while the answer is still incomplete. Bytes beyond the capacity are
// read and dropped. Returns the count kept.
DWORD CDownLoad::ReadResponse(BYTE* pRxBuff, DWORD capacity, DWORD waitMs) {
  using Steady = std::chrono::steady_clock;
  const Steady::time_point deadline = Steady::now() + std::chrono::milliseconds(waitMs);
  std::array<BYTE, CWinRs232cSync::kReadBufferSize> piece;
  DWORD total = 0;
  while (!ResponseComplete(pRxBuff, total, capacity) && !Stopping()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
    if (left <= 0 || (m_Serial.WaitRxChar(static_cast<int>(left)) & EV_RXCHAR) == 0) break;
    for (DWORD got = m_Serial.Read(piece.data(), 0); got > 0; got = m_Serial.Read(piece.data(), 0)) {
      const DWORD kept = std::min(got, capacity - total);
      std::memcpy(pRxBuff + total, piece.data(), kept);
      total += kept;
    }
  }
  return total;
}

}  // namespace tw
