#include "sim/simhandset.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "platform/tunables.h"
#include "sim/modemmonitor.h"
#include "sim/pdaagent.h"
#include "sim/replylink.h"
#include "sim/simverify.h"

namespace tw::sim {

namespace {

// How long one receive waits before the run's stop and time-out are checked.
constexpr int kReceiveSliceMs = 20;
// How often a closed COM gate is asked again.
constexpr int kComGatePollMs = 5;

using Clock = std::chrono::steady_clock;

}  // namespace

// The run's stop request and real-time deadline.
class RunLimit {
 public:
  RunLimit(std::stop_token stop, std::uint32_t timeoutMs)
      : m_stop(std::move(stop)),
        m_deadline(timeoutMs ? Clock::now() + std::chrono::milliseconds(timeoutMs)
                             : Clock::time_point::max()) {}
  bool Stopped() const { return m_stop.stop_requested(); }
  bool Expired() const { return Clock::now() >= m_deadline; }
  bool Over() const { return Stopped() || Expired(); }
  const char* Why() const { return Stopped() ? "stopped" : "timeout"; }
  const std::stop_token& Token() const { return m_stop; }

 private:
  std::stop_token m_stop;
  Clock::time_point m_deadline;
};

namespace {

// Waits, slice by slice, for the host to open the port.
bool WaitOpened(ISimPort& port, const RunLimit& limit) {
  while (!limit.Over()) {
    if (port.WaitOpened(kReceiveSliceMs)) {
      return true;
    }
  }
  return false;
}

// Counts the host's bytes on one side and cuts the side off after byte b.
class DisconnectCounter {
 public:
  explicit DisconnectCounter(std::uint64_t afterByte) : m_after(afterByte) {}
  // How many of n new bytes to take; sets Due() when the cut falls within them.
  std::size_t Take(std::size_t n) {
    if (m_after == 0 || m_seen + n < m_after) {
      m_seen += n;
      return n;
    }
    std::size_t take = static_cast<std::size_t>(m_after - m_seen);
    m_seen = m_after;
    m_due = true;
    return take;
  }
  bool Due() const { return m_due; }

 private:
  std::uint64_t m_after;
  std::uint64_t m_seen = 0;
  bool m_due = false;
};

// Feeds the host's bytes on one side to its agent until check() names how
// the side ends, the side is cut off ("disconnected"), or the host closes its
// end (an empty result). A message left unfinished while the host stays quiet
// is reported to the agent once.
template <typename Agent, typename Check>
std::string Pump(ISimPort& port, const RunLimit& limit, DisconnectCounter& cut, Agent& agent, Check&& check) {
  std::array<std::uint8_t, 64 * 1024> buffer;
  auto lastByte = Clock::now();
  bool quietTold = false;
  while (!limit.Over()) {
    long got = port.Receive(buffer.data(), buffer.size(), kReceiveSliceMs);
    if (got < 0) {
      return {};
    }
    if (got == 0) {
      if (!quietTold && Clock::now() - lastByte >= std::chrono::milliseconds(GetTunables().simQuietMs)) {
        agent.OnQuiet();
        quietTold = true;
      }
    } else {
      lastByte = Clock::now();
      quietTold = false;
      agent.OnBytes(buffer.data(), cut.Take(static_cast<std::size_t>(got)));
      if (cut.Due()) {
        return "disconnected";
      }
    }
    if (std::string end = check(); !end.empty()) {
      return end;
    }
  }
  return limit.Why();
}

}  // namespace

SimHandset::SimHandset(SimConfig config, ISimTransport& transport, IClock& clock)
    : m_config(std::move(config)), m_transport(transport), m_clock(clock) {
  m_recorder.Update([this](SimSummary& s) { s.location = m_config.location; });
}

SimHandset::~SimHandset() {
  Stop();
}

void SimHandset::SetExpected(SimImages images) {
  m_expected = std::make_shared<const SimImages>(std::move(images));
}

void SimHandset::SetExpected(std::shared_ptr<const SimImages> images) {
  m_expected = std::move(images);
}

void SimHandset::SetComGate(std::function<bool()> ready) {
  m_comReady = std::move(ready);
}

bool SimHandset::Start() {
  if (m_thread.joinable()) {
    return false;
  }
  std::unique_ptr<ISimPort> pda = m_transport.AnnouncePda();
  if (!pda) {
    return false;
  }
  m_thread = std::jthread([this, port = std::move(pda)](std::stop_token stop) mutable {
    RunLimit limit(stop, m_config.runTimeoutMs);
    std::string end = RunPda(std::move(port), limit);
    Finish(end);
  });
  return true;
}

std::string SimHandset::RunPda(std::unique_ptr<ISimPort> port, const RunLimit& limit) {
  ReplyLink link(*port, m_clock, m_config.faults, m_recorder, limit.Token());
  PdaAgent agent(m_config, m_flash, m_recorder,
                 [&link](std::span<const std::uint8_t> reply) { link.Send(reply); });
  DisconnectCounter cut(m_config.faults.disconnectPdaAfterByte);
  auto outcome = [&agent]() -> std::string {
    switch (agent.GetOutcome()) {
      case PdaAgent::Outcome::Finished:
        return "finish";
      case PdaAgent::Outcome::PhoneMode:
        return "phone-mode";
      default:
        return {};
    }
  };
  // Each open of the channel is a session of its own, starting with the hello.
  while (WaitOpened(*port, limit)) {
    agent.OnOpen();
    std::string end = Pump(*port, limit, cut, agent, outcome);
    if (end == "disconnected") {
      m_recorder.Fault("disconnectPdaAfterByte", m_config.faults.disconnectPdaAfterByte);
    }
    if (end == "phone-mode") {
      if (agent.RepliedToPhoneMode()) {
        port->WaitDrained(GetTunables().simPhoneModeDrainMs);
      }
      port.reset();  // the handset leaves the USB side
      m_clock.Sleep(m_config.phoneModePauseMs, limit.Token());
      if (!WaitComGate(limit)) {
        return limit.Why();
      }
      return RunPhone(limit);
    }
    if (!end.empty()) {
      return end;
    }
  }
  return limit.Why();
}

bool SimHandset::WaitComGate(const RunLimit& limit) {
  while (m_comReady && !m_comReady()) {
    if (limit.Over()) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kComGatePollMs));
  }
  return !limit.Over();
}

std::string SimHandset::RunPhone(const RunLimit& limit) {
  std::unique_ptr<ISimPort> port = m_transport.AnnounceCom(m_config.comPort);
  if (!port) {
    return "com-failed";
  }
  ReplyLink link(*port, m_clock, m_config.faults, m_recorder, limit.Token(), ReplyLink::Side::Modem);
  // A slow flash holds each block's answer.
  const std::uint32_t blockHoldMs = m_config.faults.blockAnswerDelayMs;
  ModemMonitor monitor(
      m_config, m_flash, m_recorder,
      [&link, blockHoldMs](std::span<const std::uint8_t> answer, ModemMonitor::Answered what) {
        link.Send(answer, what == ModemMonitor::Answered::Block ? blockHoldMs : 0);
      });
  DisconnectCounter cut(m_config.faults.disconnectPhoneAfterByte);
  auto doneSince = Clock::time_point::max();
  // Once the last region is written the host should close the port soon.
  auto lingered = [&]() -> std::string {
    if (monitor.Done() && doneSince == Clock::time_point::max()) {
      doneSince = Clock::now();
    }
    return Clock::now() - doneSince > std::chrono::milliseconds(GetTunables().simPhoneDoneLingerMs)
               ? "phone-done"
               : "";
  };
  while (WaitOpened(*port, limit)) {
    std::string end = Pump(*port, limit, cut, monitor, lingered);
    if (end == "disconnected") {
      m_recorder.Fault("disconnectPhoneAfterByte", m_config.faults.disconnectPhoneAfterByte);
    }
    if (!end.empty()) {
      return end;
    }
    // The host closed the port: the download is over when no block is owed.
    bool complete = monitor.Done() || (m_config.phoneRegions == 0 && monitor.BetweenRegions());
    return complete ? "phone-done" : "host-closed";
  }
  return limit.Why();
}

void SimHandset::Finish(const std::string& end) {
  if (m_expected) {
    VerifyRun(*m_expected, m_flash, m_recorder);
  }
  m_recorder.Update([&end](SimSummary& s) { s.end = end; });
  {
    std::lock_guard guard(m_endLock);
    m_ended = true;
  }
  m_endChanged.notify_all();
}

bool SimHandset::WaitEnd(int timeoutMs) {
  std::unique_lock guard(m_endLock);
  return m_endChanged.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return m_ended; });
}

bool SimHandset::Ended() const {
  std::lock_guard guard(m_endLock);
  return m_ended;
}

void SimHandset::Stop() {
  if (m_thread.joinable()) {
    m_thread.request_stop();
    m_thread.join();
  }
}

SimSummary SimHandset::Summary() const {
  return m_recorder.Snapshot();
}

}  // namespace tw::sim
