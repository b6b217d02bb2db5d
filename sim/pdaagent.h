// The handset's PDA download agent: sends its hello when the host opens the
// channel, then answers the host's command records, takes the EBOOT records
// and serves the OS image by its own data requests. Every message the
// protocol does not allow at that point is recorded as a violation with its
// byte offset in the host's stream.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sim/simconfig.h"
#include "sim/simflash.h"
#include "sim/simsummary.h"

namespace tw::sim {

class PdaAgent {
 public:
  using SendFn = std::function<void(std::span<const std::uint8_t>)>;
  enum class Outcome { Running, PhoneMode, Finished };

  PdaAgent(const SimConfig& config, SimFlash& flash, SimRecorder& recorder, SendFn send);

  // The host opened the channel: a new session begins with the hello.
  void OnOpen();
  // Bytes from the host, in any pieces.
  void OnBytes(const std::uint8_t* data, std::size_t n);
  // The host has been quiet for a while: a message begun and not finished
  // is one of the wrong length.
  void OnQuiet();

  Outcome GetOutcome() const { return m_outcome; }
  // A phone-only run reads one reply to the phone-mode command; it was sent.
  bool RepliedToPhoneMode() const { return m_phoneModeReplied; }

 private:
  enum class State {
    Idle,             // between stages
    EbootPoll,        // EBOOT_INFO answered; the poll comes next
    EbootData,        // taking data records
    EbootEnd,         // all records in; EBOOT_END comes next
    EbootCompletion,  // answering polls until the ready reply
    EbootDone,        // ready sent; IMAGE_DONE comes next
    OsRequest,        // a data request is out; packets come
    OsCompletion,     // answering polls until the done reply
    OsDone,           // done sent; IMAGE_DONE or FINISH comes next
    Handover,         // IMAGE_DONE answered; PHONE_MODE or FINISH comes next
    Ended,
  };

  void Handle(std::span<const std::uint8_t> message);
  void OnEbootInfo(std::uint32_t size, std::uint32_t mask);
  void OnPoll(std::uint32_t size, std::uint32_t mask);
  void OnEbootData(std::span<const std::uint8_t> record);
  void OnEbootEnd(std::span<const std::uint8_t> record);
  void OnImageDone();
  void OnOsInfo(std::uint32_t size);
  void OnOsPacket(std::span<const std::uint8_t> packet);
  void OnPhoneMode(std::uint32_t phoneSize);
  void OnFinish();

  void AnnounceImage(ImageSummary SimSummary::*image, std::uint32_t size);
  void SendRequest();
  void SendCompletionReply(std::uint8_t done, State doneState);
  void Reply(std::uint8_t code);
  void Violate(std::string what);
  bool ZeroFrom(std::span<const std::uint8_t> bytes, std::size_t from, const char* what);

  const SimConfig& m_config;
  SimFlash& m_flash;
  SimRecorder& m_recorder;
  SendFn m_send;

  State m_state = State::Idle;
  Outcome m_outcome = Outcome::Running;
  std::vector<std::uint8_t> m_pending;  // bytes of an incomplete message
  std::uint64_t m_offset = 0;           // stream offset of m_pending[0]
  std::uint64_t m_messageOffset = 0;    // stream offset of the message in hand
  std::uint32_t m_hellos = 0;
  bool m_helloAcked = false;
  bool m_afterConnect = false;
  bool m_phoneModeReplied = false;
  std::uint32_t m_busyLeft = 0;

  std::uint32_t m_ebootSize = 0;
  std::uint32_t m_nandMask = 0;
  std::uint32_t m_ebootReceived = 0;
  std::uint32_t m_ebootRecords = 0;

  std::uint32_t m_osSize = 0;
  std::uint32_t m_osReceived = 0;
  std::uint32_t m_osPackets = 0;
  std::uint32_t m_requests = 0;         // requests sent so far
  std::uint32_t m_outstanding = 0;      // bytes still owed to the current request
  std::uint32_t m_requestPackets = 0;   // packets taken for the current request
  std::vector<std::uint8_t> m_request;  // the current request as sent in full
};

}  // namespace tw::sim
