#include "sim/modemmonitor.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "platform/byteorder.h"
#include "platform/crc16x25.h"
#include "sim/modemframes.h"
#include "sim/regiontable.h"

namespace tw::sim {

namespace {

// Longest frame accepted between two flags: far above any command's.
constexpr std::size_t kMaxFrameBytes = 4096;
constexpr std::array<std::uint8_t, 2> kOk = {'O', 'K'};

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

}  // namespace

ModemMonitor::ModemMonitor(const SimConfig& config, SimFlash& flash, SimRecorder& recorder, SendFn send)
    : m_config(config), m_flash(flash), m_recorder(recorder), m_send(std::move(send)) {
  m_block.reserve(kBlockBytes);
}

void ModemMonitor::OnBytes(const std::uint8_t* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i, ++m_offset) {
    if (m_mode == Mode::Block) {
      OnBlockByte(data[i]);
    } else {
      OnFrameByte(data[i]);
    }
  }
}

void ModemMonitor::OnQuiet() {
  if (m_mode == Mode::InFrame && !m_frame.empty()) {
    Violate(m_frameOffset, "frame without a closing flag");
    m_mode = Mode::Idle;
    m_frame.clear();
  } else if (m_mode == Mode::Block && !m_block.empty()) {
    Violate(m_blockOffset, "incomplete block: " + std::to_string(m_block.size()) + " bytes");
    m_block.clear();
  }
}

void ModemMonitor::OnFrameByte(std::uint8_t b) {
  if (m_mode == Mode::InFrame) {
    if (b == kFlag) {
      EndFrame();
      return;
    }
    m_frame.push_back(b);
    if (m_frame.size() > kMaxFrameBytes) {
      Violate(m_frameOffset, "frame without a closing flag");
      m_mode = Mode::Idle;
      m_inGarbage = true;
    }
    return;
  }
  // Between frames: a flag opens the next one; one 0x00 may pad a frame whose
  // length is a multiple of 64.
  if (b == kFlag) {
    m_mode = Mode::InFrame;
    m_frame.clear();
    m_frameOffset = m_offset;
    m_inGarbage = false;
    m_padAllowed = false;
    return;
  }
  if (b == 0x00 && m_padAllowed) {
    m_padAllowed = false;
    return;
  }
  m_padAllowed = false;
  if (!m_inGarbage) {
    Violate(m_offset, m_blocksTotal == 0 && !m_eraseAccepted
                          ? "bytes outside a frame (a block before an erase?)"
                          : "bytes outside a frame");
    m_inGarbage = true;
  }
}

void ModemMonitor::EndFrame() {
  if (m_frame.empty()) {
    // Two flags in a row: the second one opens the frame.
    m_frameOffset = m_offset;
    return;
  }
  m_mode = Mode::Idle;
  m_padAllowed = (m_frame.size() + 2) % kPadBoundary == 0;
  std::optional<std::vector<std::uint8_t>> payload = Unstuff();
  if (!payload) {
    Answer(kNakBadCrc);
    return;
  }
  if (payload->size() < 1 + kCheckBytes) {
    Violate(m_frameOffset, "frame too short");
    Answer(kNakBadCrc);
    return;
  }
  std::size_t length = payload->size() - kCheckBytes;
  std::uint16_t sent = LoadLe16(payload->data() + length);
  payload->resize(length);
  if (Crc16X25(*payload) != sent) {
    Violate(m_frameOffset, "bad check sequence");
    Answer(kNakBadCrc);
    return;
  }
  Dispatch(*payload);
}

std::optional<std::vector<std::uint8_t>> ModemMonitor::Unstuff() {
  std::vector<std::uint8_t> payload;
  payload.reserve(m_frame.size());
  for (std::size_t i = 0; i < m_frame.size(); ++i) {
    std::uint8_t b = m_frame[i];
    std::uint64_t at = m_frameOffset + 1 + i;
    if (b == 0x7F) {
      Violate(at, "unstuffed 0x7F in a frame");
      return std::nullopt;
    }
    if (b != kEscape) {
      payload.push_back(b);
      continue;
    }
    std::uint8_t next = i + 1 < m_frame.size() ? m_frame[i + 1] ^ kEscapeXor : 0;
    if (i + 1 == m_frame.size() || !IsEscaped(next)) {
      Violate(at, "bad escape in a frame");
      return std::nullopt;
    }
    payload.push_back(next);
    ++i;
  }
  return payload;
}

void ModemMonitor::Dispatch(const std::vector<std::uint8_t>& payload) {
  std::uint8_t command = payload[0];
  std::size_t expected = command == kJump ? kJumpPayload : command == kErase ? kErasePayload : kEfsPayload;
  if (command != kJump && command != kErase && command != kEfs) {
    Violate(m_frameOffset, "unknown command " + Hex(command));
    Answer(kNakBadCrc);
    return;
  }
  if (payload.size() != expected) {
    Violate(m_frameOffset, "command " + Hex(command) + " of " + std::to_string(payload.size()) +
                               " bytes; expected " + std::to_string(expected));
    Answer(kNakBadCrc);
    return;
  }
  if (command == kJump) {
    OnJump();
  } else if (command == kErase) {
    OnErase(payload);
  } else {
    OnEfs();
  }
}

void ModemMonitor::OnJump() {
  ++m_jumps;
  if (m_jumps <= 2) {
    Answer(kAck);  // the two opening jumps; the host reads these with its next exchange
    return;
  }
  // A jump after an answered one opens the next region; otherwise the host
  // repeats the jump it got no answer to.
  bool newRegion = m_regionIndex == 0 || m_regionJumpAnswered;
  if (newRegion) {
    NewRegion();
  }
  if (static_cast<std::uint32_t>(m_regionIndex) == m_config.faults.noAckJumpRegion) {
    if (newRegion) {
      m_recorder.Fault("noAckJumpRegion", static_cast<std::uint64_t>(m_regionIndex));
    }
    m_regionJumpAnswered = false;
    return;
  }
  m_regionJumpAnswered = true;
  Answer(kAck);
}

void ModemMonitor::NewRegion() {
  ++m_regionIndex;
  m_eraseAccepted = false;
  RegionSummary region;
  region.index = m_regionIndex;
  m_regions.push_back(region);
  m_recorder.Update([&](SimSummary& s) { s.regions = m_regions; });
}

RegionSummary& ModemMonitor::Region() {
  if (m_regions.empty()) {
    NewRegion();
  }
  return m_regions.back();
}

void ModemMonitor::OnErase(const std::vector<std::uint8_t>& payload) {
  if (LoadLe32(payload.data() + 1) != 0) {
    Violate(m_frameOffset + 2, "erase bytes 1 to 4 are not zero");
  }
  std::uint32_t length = LoadLe32(payload.data() + 5);
  std::uint32_t start = LoadLe32(payload.data() + 9);
  if (m_regionIndex == 0) {
    Violate(m_frameOffset, "erase before a region's jump");
  } else if (m_eraseAccepted) {
    Violate(m_frameOffset, "second erase in one region");
  }
  if (m_regionIndex == 0 || m_eraseAccepted) {
    NewRegion();
    m_regionJumpAnswered = true;
  }
  CheckAgainstTable(start, length);
  RegionSummary& region = Region();
  region.start = start;
  region.length = length;
  if (static_cast<std::uint32_t>(m_regionIndex) == m_config.faults.nakEraseRegion) {
    if (region.erase != "nak") {
      m_recorder.Fault("nakEraseRegion", static_cast<std::uint64_t>(m_regionIndex));
    }
    region.erase = "nak";
    m_recorder.Update([&](SimSummary& s) { s.regions = m_regions; });
    Answer(kNakBadCrc);
    return;
  }
  region.erase = "ack";
  m_eraseAccepted = true;
  m_flash.Erase(start, length);
  m_recorder.Update([&](SimSummary& s) { s.regions = m_regions; });
  Answer(kAck);
  m_blocksLeft = length / kBlockBytes + (length % kBlockBytes ? 1 : 0);
  m_blockAddress = start;
  m_block.clear();
  if (m_blocksLeft > 0) {
    m_eraseWire.assign(1, kFlag);
    m_eraseWire.insert(m_eraseWire.end(), m_frame.begin(), m_frame.end());
    m_eraseWire.push_back(kFlag);
    m_mode = Mode::Block;
  } else {
    CheckDone();
  }
}

void ModemMonitor::CheckAgainstTable(std::uint32_t start, std::uint32_t length) {
  // The region set is known when the run writes the full set or EFS and CODE.
  if (m_config.phoneRegions != 7 && m_config.phoneRegions != 2) {
    return;
  }
  const std::span<const SimRegion> table = RegionTable(m_config.phoneRegions == 7);
  if (m_regionIndex < 1 || static_cast<std::size_t>(m_regionIndex) > table.size()) {
    return;
  }
  const SimRegion& due = table[static_cast<std::size_t>(m_regionIndex) - 1];
  const std::string which = "region " + std::to_string(m_regionIndex) + " (" + due.name + ")";
  if (due.writeLength == 0) {
    Violate(m_frameOffset, "erase in " + which + ", which is never written");
  } else if (start != due.start) {
    Violate(m_frameOffset, which + " erased at " + Hex(start) + ", not at " + Hex(due.start));
  } else if (due.writeLength != kToImageEnd && length != due.writeLength) {
    Violate(m_frameOffset, which + " erased for " + std::to_string(length) + " bytes, not " +
                               std::to_string(due.writeLength));
  }
}

void ModemMonitor::OnEfs() {
  if (m_regionIndex == 0 || m_eraseAccepted) {
    Violate(m_frameOffset, "EFS command outside the EFS region");
  }
  Region().efsCommand = true;
  m_recorder.Update([&](SimSummary& s) { s.regions = m_regions; });
  Answer(kAck);
}

void ModemMonitor::OnBlockByte(std::uint8_t b) {
  if (m_block.empty()) {
    m_blockOffset = m_offset;
  }
  m_block.push_back(b);
  // Before the region's first block, the host may repeat the erase it saw
  // no answer to: answer it again.
  if (Region().blocks == 0 && m_block.size() == m_eraseWire.size() && m_block == m_eraseWire) {
    m_block.clear();
    Answer(kAck);
    return;
  }
  if (m_block.size() == kBlockBytes) {
    OnBlock();
  }
}

void ModemMonitor::OnBlock() {
  m_flash.Program(m_blockAddress, m_block.data(), m_block.size());
  m_block.clear();
  m_blockAddress += kBlockBytes;
  ++m_blocksTotal;
  --m_blocksLeft;
  RegionSummary& region = Region();
  ++region.blocks;
  m_recorder.Update([&](SimSummary& s) {
    s.regions.back().blocks = region.blocks;
    s.phone.received += kBlockBytes;
  });
  if (m_blocksLeft == 0) {
    m_mode = Mode::Idle;
    CheckDone();
  }
  if (m_blocksTotal == m_config.faults.noAnswerBlock) {
    m_recorder.Fault("noAnswerBlock", m_blocksTotal);
    return;
  }
  if (m_blocksTotal == 1 && m_config.faults.blockAnswerDelayMs > 0) {
    m_recorder.Fault("blockAnswerDelayMs", m_config.faults.blockAnswerDelayMs);
  }
  Answer(kAck, Answered::Block);
}

void ModemMonitor::CheckDone() {
  if (m_config.phoneRegions > 0 && m_regionIndex >= m_config.phoneRegions) {
    m_done = true;
  }
}

void ModemMonitor::Answer(std::uint8_t code, Answered what) {
  if (code == kAck && m_config.answerOk) {
    m_send(kOk, what);
    return;
  }
  m_send(AnswerFrame(code), what);
}

void ModemMonitor::Violate(std::uint64_t offset, std::string what) {
  m_recorder.Violate(Side::Phone, offset, std::move(what));
}

}  // namespace tw::sim
