// The phone download's exchange: send a frame, wait for the download
// monitor's answer and classify it.
//
// Fixed pacing (the documented one) sleeps the exchange's pause after the
// write and judges the first answer it then reads. Answer pacing writes the
// same frames but judges the answer to the frame it has just written: what
// waits before the write is dropped, and the read goes on until the bytes end
// with a whole answer, of which the last is judged. It never takes a partial
// answer for a whole one.
#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <thread>

#include "download/download.h"
#include "phonedown/cmsmpacket/msmresponse.h"
#include "platform/tunables.h"

namespace tw {

namespace {

// Fixed pacing: the answer holds what its code needs: a frame up to its
// closing flag, two bytes behind a leading 0x7F or 'O' ("OK"), else one byte.
// A full buffer counts as complete, since only the first two bytes are
// examined.
bool ResponseComplete(const BYTE* rx, DWORD n, DWORD capacity) {
  if (n == 0) return false;
  if (n >= capacity) return true;
  if (rx[0] == 0x7E) return n >= 3 && std::find(rx + 2, rx + n, BYTE{0x7E}) != rx + n;
  if (rx[0] == 0x7F || rx[0] == 'O') return n >= 2;
  return true;
}

// Answer pacing: the bytes end with a whole answer, none begun after it.
bool EndsWithWholeAnswer(const BYTE* rx, DWORD n) {
  const WholeAnswers found = FindWholeAnswers(std::span<const BYTE>(rx, n));
  return !found.last.empty() && !found.bUnfinished;
}

// Adds a piece to the answer buffer. Fixed pacing keeps the first bytes (it
// judges the first answer) and drops what does not fit; answer pacing keeps
// the latest (it judges the last answer), dropping the oldest half when full.
void Keep(BYTE* rx, DWORD capacity, DWORD& total, const BYTE* piece, DWORD got, bool bKeepLatest) {
  if (bKeepLatest && got >= capacity) {
    std::memcpy(rx, piece + (got - capacity), capacity);
    total = capacity;
    return;
  }
  if (bKeepLatest && total + got > capacity) {
    const DWORD drop = std::max(total / 2, total + got - capacity);
    std::memmove(rx, rx + drop, total - drop);
    total -= drop;
  }
  const DWORD kept = std::min(got, capacity - total);
  std::memcpy(rx + total, piece, kept);
  total += kept;
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
int CDownLoad::SendPacketWaitAck(const BYTE* frame, DWORD length, int attempts, DWORD timeout, DWORD pause,
                                 PauseUse use) {
  const bool bAnswerPacing = Owner().Pacing() == PhonePacing::Answer;
  std::array<BYTE, 1024> pRxBuff{};
  const DWORD waitMs = std::max<DWORD>(timeout, static_cast<DWORD>(GetTunables().phoneRxFloorMs));
  int code = 0;
  for (int attempt = 0; attempt < attempts && !Stopping(); ++attempt) {
    if (bAnswerPacing) DropWaitingAnswers(waitMs);
    if (!m_Serial.Write(frame, length)) return NAK_BAD_CRC;
    if (!bAnswerPacing || use == PauseUse::Kept) Sleep(pause);
    const DWORD n = ReadResponse(pRxBuff.data(), static_cast<DWORD>(pRxBuff.size()), waitMs, bAnswerPacing);
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
// bound) while the answer is still incomplete. Fixed pacing returns the count
// of what it kept, from the first byte on. With bWholeAnswer the last whole
// answer is moved to the front and its length returned; 0 when no answer was
// whole when the bound ran out, or one begun after it was still unfinished.
DWORD CDownLoad::ReadResponse(BYTE* pRxBuff, DWORD capacity, DWORD waitMs, bool bWholeAnswer) {
  const ClockDeadline deadline(Owner().Clock(), waitMs);
  std::array<BYTE, CWinRs232cSync::kReadBufferSize> piece;
  DWORD total = 0;
  const auto complete = [&] {
    return bWholeAnswer ? EndsWithWholeAnswer(pRxBuff, total) : ResponseComplete(pRxBuff, total, capacity);
  };
  while (!complete() && !Stopping()) {
    const std::uint32_t left = deadline.Left();
    if (left == 0 || (m_Serial.WaitRxChar(static_cast<int>(left)) & EV_RXCHAR) == 0) break;
    for (DWORD got = m_Serial.Read(piece.data(), 0); got > 0; got = m_Serial.Read(piece.data(), 0)) {
      Keep(pRxBuff, capacity, total, piece.data(), got, bWholeAnswer);
    }
  }
  if (!bWholeAnswer) return total;
  const WholeAnswers found = FindWholeAnswers(std::span<const BYTE>(pRxBuff, total));
  if (found.last.empty() || found.bUnfinished) return 0;
  const DWORD n = static_cast<DWORD>(found.last.size());
  std::memmove(pRxBuff, found.last.data(), n);
  return n;
}

// Answer pacing, before a write: drops what waits (the answers to the opening
// jumps, which are never read, or a late answer to an attempt that timed out),
// with the rest of an answer still arriving: until the port stays quiet for
// the reply quiet time, at most waitMs.
void CDownLoad::DropWaitingAnswers(DWORD waitMs) {
  std::array<BYTE, CWinRs232cSync::kReadBufferSize> piece;
  if (m_Serial.Read(piece.data(), 0) == 0) return;
  const ClockDeadline deadline(Owner().Clock(), waitMs);
  const int quietMs = GetTunables().replyQuietMs;
  while (!Stopping() && deadline.Left() > 0) {
    const int wait = static_cast<int>(std::min<DWORD>(static_cast<DWORD>(quietMs), deadline.Left()));
    if ((m_Serial.WaitRxChar(wait) & EV_RXCHAR) == 0) return;
    while (m_Serial.Read(piece.data(), 0) > 0) {
    }
  }
}

}  // namespace tw
