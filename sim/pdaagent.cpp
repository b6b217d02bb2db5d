#include "sim/pdaagent.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/byteorder.h"
#include "sim/pdarecords.h"

namespace tw::sim {

namespace {

// Any bytes acknowledge; each acknowledgement has the size the host reads:
// 12 bytes for an EBOOT one, 4 for an OS-image one.
constexpr std::array<std::uint8_t, kReplyBytes> kEbootAck = {0x06};
constexpr std::array<std::uint8_t, kOsAckBytes> kOsAck = {0x06, 0, 0, 0};
// A reply that is neither ready (0x0F) nor done (0x12).
constexpr std::uint8_t kBusyReply = 0x0B;
// A short data request: fewer than 16 bytes.
constexpr std::size_t kShortRequestSize = 10;
// The over-long request asks this much more than remains.
constexpr std::uint32_t kOverRequestExtra = 3000;

bool IsKnownCommand(std::uint32_t code) {
  return code != kDataType && HostMessageBytes(code) != 0;
}

// Bytes of the message that begins with this word; an unknown word is taken
// as a command record.
std::size_t MessageSize(std::uint32_t word0) {
  const std::size_t size = HostMessageBytes(word0);
  return size != 0 ? size : kCommandBytes;
}

}  // namespace

PdaAgent::PdaAgent(const SimConfig& config, SimFlash& flash, SimRecorder& recorder, SendFn send)
    : m_config(config), m_flash(flash), m_recorder(recorder), m_send(std::move(send)) {}

void PdaAgent::OnOpen() {
  // A new session: the host starts over with the handshake.
  m_pending.clear();
  m_state = State::Idle;
  m_helloAcked = false;
  m_afterConnect = false;
  std::array<std::uint8_t, kReplyBytes> hello{};
  hello[0] = kRspHello;
  if (++m_hellos == 1 && m_config.faults.wrongHello) {
    hello[0] = 0x00;
    m_recorder.Fault("wrongHello", 1);
  }
  m_send(hello);
}

void PdaAgent::OnBytes(const std::uint8_t* data, std::size_t n) {
  m_pending.insert(m_pending.end(), data, data + n);
  std::size_t used = 0;
  while (m_pending.size() - used >= 4 && m_outcome == Outcome::Running) {
    std::size_t size = MessageSize(LoadLe32(m_pending.data() + used));
    if (m_pending.size() - used < size) {
      break;
    }
    m_messageOffset = m_offset + used;
    Handle({m_pending.data() + used, size});
    used += size;
  }
  m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(used));
  m_offset += used;
}

void PdaAgent::OnQuiet() {
  if (m_pending.empty()) {
    return;
  }
  std::size_t size = m_pending.size() >= 4 ? MessageSize(LoadLe32(m_pending.data())) : 0;
  m_messageOffset = m_offset;
  Violate("incomplete message: " + std::to_string(m_pending.size()) + " bytes" +
          (size ? " of " + std::to_string(size) : std::string()));
  m_offset += m_pending.size();
  m_pending.clear();
}

void PdaAgent::Handle(std::span<const std::uint8_t> message) {
  std::uint32_t code = LoadLe32(message.data());
  if (code == kDataType) {
    OnOsPacket(message);
    return;
  }
  if (!IsKnownCommand(code)) {
    Violate("unknown command " + std::to_string(code));
    return;
  }
  std::uint32_t size = LoadLe32(message.data() + 4);
  std::uint32_t mask = LoadLe32(message.data() + 8);
  bool wordsCarryValues = code == kCmdEbootInfo || code == kCmdOsInfo || code == kCmdPhoneMode ||
                          code == kCmdPoll || code == kCmdEbootData;
  if (!wordsCarryValues && (size != 0 || mask != 0)) {
    Violate("command " + std::to_string(code) + " carries non-zero words");
  }
  if (!m_helloAcked && code != kCmdHelloAck && code != kCmdAfterConnect) {
    Violate("command " + std::to_string(code) + " before the hello was answered");
  }
  switch (code) {
    case kCmdHelloAck:
      if (m_helloAcked) {
        Violate("hello answered twice");
      }
      m_helloAcked = true;
      return;
    case kCmdAfterConnect:
      if (m_afterConnect) {
        Violate("command 27 sent twice");
      }
      m_afterConnect = true;
      return;
    case kCmdEbootInfo:
      return OnEbootInfo(size, mask);
    case kCmdPoll:
      return OnPoll(size, mask);
    case kCmdEbootData:
      return OnEbootData(message);
    case kCmdEbootEnd:
      return OnEbootEnd(message);
    case kCmdImageDone:
      return OnImageDone();
    case kCmdOsInfo:
      return OnOsInfo(size);
    case kCmdPhoneMode:
      return OnPhoneMode(size);
    default:
      return OnFinish();
  }
}

void PdaAgent::OnEbootInfo(std::uint32_t size, std::uint32_t mask) {
  if (m_state != State::Idle) {
    Violate("EBOOT start in the middle of a stage");
  }
  if (size == 0) {
    Violate("EBOOT start with an image size of 0");
  }
  m_ebootSize = size;
  m_nandMask = mask;
  m_ebootReceived = 0;
  m_ebootRecords = 0;
  m_flash.BeginEboot(size);
  AnnounceImage(&SimSummary::eboot, size);
  Reply(kRspReady);
  m_state = State::EbootPoll;
}

void PdaAgent::OnPoll(std::uint32_t size, std::uint32_t mask) {
  switch (m_state) {
    case State::EbootPoll:
      // The first poll repeats the EBOOT start's size and NAND mask.
      if (size != m_ebootSize || mask != m_nandMask) {
        Violate("first EBOOT poll does not repeat the image size and NAND mask");
      }
      m_send(kEbootAck);
      m_state = State::EbootData;
      return;
    case State::EbootCompletion:
      return SendCompletionReply(kRspReady, State::EbootDone);
    case State::OsCompletion:
      return SendCompletionReply(kRspOsDone, State::OsDone);
    case State::OsRequest:
      if (m_requestPackets == 0) {
        // The host could not take the request: send it again in full.
        m_send(m_request);
        return;
      }
      break;
    default:
      break;
  }
  if (size != 0 || mask != 0) {
    Violate("poll carries non-zero words");
  }
  Violate("poll out of turn");
}

void PdaAgent::OnEbootData(std::span<const std::uint8_t> record) {
  if (m_state == State::EbootEnd) {
    Violate("EBOOT record past the end of the image");
    return;
  }
  if (m_state != State::EbootData) {
    Violate("EBOOT record out of turn");
    return;
  }
  if (LoadLe32(record.data() + 4) != m_ebootSize || LoadLe32(record.data() + 8) != 0) {
    Violate("EBOOT record does not carry the image size and a zero mask");
  }
  std::uint32_t chunk = std::min<std::uint32_t>(kEbootChunk, m_ebootSize - m_ebootReceived);
  const std::uint8_t* data = record.data() + kCommandBytes;
  ZeroFrom(record, kCommandBytes + chunk, "EBOOT record padding");
  m_flash.WriteEboot(m_ebootReceived, data, chunk);
  m_ebootReceived += chunk;
  ++m_ebootRecords;
  m_recorder.Update([this](SimSummary& s) { s.eboot.received = m_ebootReceived; });
  if (m_ebootReceived == m_ebootSize) {
    m_state = State::EbootEnd;
  }
  if (m_ebootRecords == m_config.faults.noAckEbootRecord) {
    m_recorder.Fault("noAckEbootRecord", m_ebootRecords);
    return;
  }
  m_send(kEbootAck);
}

void PdaAgent::OnEbootEnd(std::span<const std::uint8_t> record) {
  if (m_state != State::EbootEnd) {
    Violate(m_state == State::EbootData ? "EBOOT end before the image was complete"
                                        : "EBOOT end out of turn");
    if (m_state != State::EbootData) {
      return;
    }
  }
  ZeroFrom(record, 4, "EBOOT end record");
  m_busyLeft = m_config.faults.busyReplies;
  SendCompletionReply(kRspReady, State::EbootDone);
}

void PdaAgent::SendCompletionReply(std::uint8_t done, State doneState) {
  if (m_busyLeft > 0) {
    m_recorder.Fault("busyReplies", m_config.faults.busyReplies - m_busyLeft + 1);
    --m_busyLeft;
    m_state = doneState == State::EbootDone ? State::EbootCompletion : State::OsCompletion;
    Reply(kBusyReply);
    return;
  }
  m_state = doneState;
  Reply(done);
}

void PdaAgent::OnImageDone() {
  if (m_state == State::EbootDone && m_config.osImageFollowsEboot) {
    m_state = State::Idle;  // the OS image follows; the host reads nothing
    return;
  }
  if ((m_state == State::EbootDone || m_state == State::OsDone) && m_config.faults.refuseHandover) {
    m_recorder.Fault("refuseHandover", 1);
    Reply(0x00);  // not ready: the host ends the run
    m_state = State::Idle;
    return;
  }
  if (m_state == State::EbootDone || m_state == State::OsDone) {
    Reply(kRspReady);  // ready to hand over to the phone side
    m_state = State::Handover;
    return;
  }
  Violate("image done out of turn");
}

void PdaAgent::OnOsInfo(std::uint32_t size) {
  if (m_state != State::Idle) {
    Violate("OS image start in the middle of a stage");
  }
  m_osSize = size;
  m_osReceived = 0;
  m_osPackets = 0;
  m_requests = 0;
  m_flash.BeginOs(size);
  AnnounceImage(&SimSummary::os, size);
  SendRequest();
}

void PdaAgent::AnnounceImage(ImageSummary SimSummary::*image, std::uint32_t size) {
  m_recorder.Update([image, size](SimSummary& s) {
    (s.*image).announced = size;
    (s.*image).received = 0;
  });
}

void PdaAgent::SendRequest() {
  const std::vector<std::uint32_t>& sizes = m_config.osRequestSizes;
  std::uint32_t remaining = m_osSize - m_osReceived;
  std::uint32_t wanted = sizes.empty() ? 0 : sizes[std::min<std::size_t>(m_requests, sizes.size() - 1)];
  std::uint32_t count = (wanted == 0 || wanted > remaining) ? remaining : wanted;
  ++m_requests;
  if (m_requests == m_config.faults.overRequest) {
    count = remaining + kOverRequestExtra;
    m_recorder.Fault("overRequest", m_requests);
  }
  m_outstanding = count;
  m_requestPackets = 0;
  m_request.assign(kRequestBytes, 0);
  StoreLe32(m_request.data(), kDataType);
  StoreLe32(m_request.data() + 4, m_osReceived);  // word 1: where the data begins
  StoreLe32(m_request.data() + 8, count);
  m_state = State::OsRequest;
  if (m_requests == m_config.faults.shortRequest) {
    m_recorder.Fault("shortRequest", m_requests);
    m_send(std::span(m_request).first(kShortRequestSize));
    return;
  }
  m_send(m_request);
}

void PdaAgent::OnOsPacket(std::span<const std::uint8_t> packet) {
  if (m_state != State::OsRequest) {
    Violate(m_state == State::OsCompletion || m_state == State::OsDone ? "OS packet past the end of the image"
                                                                       : "OS packet out of turn");
    return;
  }
  ZeroFrom(packet.first(kOsPacketHeader), 1, "OS packet header");
  // The host's split of a request: whole packets while more than one packet
  // is owed, then one packet with the rest.
  std::uint32_t remaining = m_osSize - m_osReceived;
  std::uint32_t chunk = m_outstanding > kOsChunk ? std::min<std::uint32_t>(kOsChunk, remaining)
                                                 : std::min(remaining, m_outstanding);
  m_outstanding = m_outstanding > kOsChunk ? m_outstanding - chunk : 0;
  ZeroFrom(packet, kOsPacketHeader + chunk, "OS packet padding");
  m_flash.WriteOs(m_osReceived, packet.data() + kOsPacketHeader, chunk);
  m_osReceived += chunk;
  ++m_osPackets;
  ++m_requestPackets;
  m_recorder.Update([this](SimSummary& s) { s.os.received = m_osReceived; });
  bool imageComplete = m_osReceived == m_osSize;
  bool requestDone = m_outstanding == 0 || imageComplete;
  if (m_osPackets == m_config.faults.noAckOsPacket) {
    m_recorder.Fault("noAckOsPacket", m_osPackets);
    if (requestDone) {
      m_state = imageComplete ? State::OsCompletion : State::Idle;
    }
    return;
  }
  if (!requestDone) {
    m_send(kOsAck);
    return;
  }
  m_send(kOsAck);
  if (imageComplete) {
    m_busyLeft = m_config.faults.busyReplies;
    SendCompletionReply(kRspOsDone, State::OsDone);
    return;
  }
  SendRequest();
}

void PdaAgent::OnPhoneMode(std::uint32_t phoneSize) {
  if (m_state != State::Idle && m_state != State::Handover) {
    Violate("phone mode out of turn");
  }
  m_recorder.Update([phoneSize](SimSummary& s) { s.phone.announced = phoneSize; });
  // A phone-only run reads one reply here; after a hand-over nobody does.
  if (m_state == State::Idle) {
    Reply(kRspReady);
    m_phoneModeReplied = true;
  }
  m_state = State::Ended;
  m_outcome = Outcome::PhoneMode;
}

void PdaAgent::OnFinish() {
  if (m_state != State::OsDone && m_state != State::Handover && m_state != State::Idle) {
    Violate("finish out of turn");
  }
  m_state = State::Ended;
  m_outcome = Outcome::Finished;
}

void PdaAgent::Reply(std::uint8_t code) {
  std::array<std::uint8_t, kReplyBytes> reply{};
  reply[0] = code;
  m_send(reply);
}

void PdaAgent::Violate(std::string what) {
  m_recorder.Violate(Side::Pda, m_messageOffset, std::move(what));
}

bool PdaAgent::ZeroFrom(std::span<const std::uint8_t> bytes, std::size_t from, const char* what) {
  auto nonZero = std::find_if(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(from, bytes.size())),
                              bytes.end(), [](std::uint8_t b) { return b != 0; });
  if (nonZero == bytes.end()) {
    return true;
  }
  m_recorder.Violate(Side::Pda, m_messageOffset + static_cast<std::uint64_t>(nonZero - bytes.begin()),
                     std::string(what) + " is not zero");
  return false;
}

}  // namespace tw::sim
