#include "sim/replylink.h"

#include <algorithm>

namespace tw::sim {

ReplyLink::ReplyLink(ISimPort& port, IClock& clock, const SimFaults& faults, SimRecorder& recorder,
                     std::stop_token stop, Side side)
    : m_port(port),
      m_clock(clock),
      m_faults(faults),
      m_recorder(recorder),
      m_stop(std::move(stop)),
      m_side(side),
      m_random(faults.splitSeed) {}

bool ReplyLink::Send(std::span<const std::uint8_t> reply, std::uint32_t holdMs) {
  if (reply.empty()) {
    return true;
  }
  if (++m_replies == 1) {
    if (m_faults.replyDelayMs > 0) {
      m_recorder.Fault("replyDelayMs", m_faults.replyDelayMs);
    }
    if (m_faults.splitReplies) {
      m_recorder.Fault("splitReplies", m_faults.splitSeed);
    }
    if (m_side == Side::Modem && m_faults.answerPieces > 1) {
      m_recorder.Fault("answerPieces", m_faults.answerPieces);
    }
  }
  if (m_faults.replyDelayMs + holdMs > 0) {
    m_clock.Sleep(m_faults.replyDelayMs + holdMs, m_stop);
  }
  return SendPieces(reply);
}

bool ReplyLink::SendPieces(std::span<const std::uint8_t> reply) {
  if (m_side == Side::Modem && m_faults.answerPieces > 1) {
    return SendEvenPieces(reply, m_faults.answerPieces);
  }
  if (m_faults.splitReplies) {
    return SendRandomPieces(reply);
  }
  return m_port.Send(reply.data(), reply.size());
}

// n pieces (at most one a byte), the longer ones first, an answer gap apart.
bool ReplyLink::SendEvenPieces(std::span<const std::uint8_t> reply, std::uint32_t pieces) {
  const std::size_t n = std::min<std::size_t>(pieces, reply.size());
  std::size_t sent = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t piece = reply.size() / n + (i < reply.size() % n ? 1 : 0);
    if (i > 0) {
      Gap(m_faults.answerGapMs);
    }
    if (!m_port.Send(reply.data() + sent, piece)) {
      return false;
    }
    sent += piece;
  }
  return true;
}

// Pieces of 1 to half the reply (at least 1), a split gap apart.
bool ReplyLink::SendRandomPieces(std::span<const std::uint8_t> reply) {
  std::size_t sent = 0;
  while (sent < reply.size()) {
    std::size_t left = reply.size() - sent;
    std::uniform_int_distribution<std::size_t> size(1, std::max<std::size_t>(1, left / 2));
    std::size_t piece = left == 1 ? 1 : size(m_random);
    if (!m_port.Send(reply.data() + sent, piece)) {
      return false;
    }
    sent += piece;
    if (sent < reply.size()) {
      Gap(m_faults.splitGapMs);
    }
  }
  return true;
}

void ReplyLink::Gap(std::uint32_t ms) {
  if (ms > 0) {
    m_clock.Sleep(ms, m_stop);
  }
}

}  // namespace tw::sim
