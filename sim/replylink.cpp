#include "sim/replylink.h"

#include <algorithm>

namespace tw::sim {

ReplyLink::ReplyLink(ISimPort& port, IClock& clock, const SimFaults& faults, SimRecorder& recorder,
                     std::stop_token stop)
    : m_port(port),
      m_clock(clock),
      m_faults(faults),
      m_recorder(recorder),
      m_stop(std::move(stop)),
      m_random(faults.splitSeed) {}

bool ReplyLink::Send(std::span<const std::uint8_t> reply) {
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
  }
  if (m_faults.replyDelayMs > 0) {
    m_clock.Sleep(m_faults.replyDelayMs, m_stop);
  }
  if (!m_faults.splitReplies) {
    return m_port.Send(reply.data(), reply.size());
  }
  // Pieces of 1 to half the reply (at least 1), a gap apart.
  std::size_t sent = 0;
  while (sent < reply.size()) {
    std::size_t left = reply.size() - sent;
    std::uniform_int_distribution<std::size_t> size(1, std::max<std::size_t>(1, left / 2));
    std::size_t piece = left == 1 ? 1 : size(m_random);
    if (!m_port.Send(reply.data() + sent, piece)) {
      return false;
    }
    sent += piece;
    if (sent < reply.size() && m_faults.splitGapMs > 0) {
      m_clock.Sleep(m_faults.splitGapMs, m_stop);
    }
  }
  return true;
}

}  // namespace tw::sim
