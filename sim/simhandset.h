// The simulated handset: the PDA download agent on the USB side, then, after
// PDA_CMD_PHONE_MODE, the modem download monitor on a COM port. It runs on
// its own thread over any transport, keeps what it receives and compares it
// with the package's images at the end of the run.
#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "sim/simconfig.h"
#include "sim/simflash.h"
#include "sim/simimages.h"
#include "sim/simport.h"
#include "sim/simsummary.h"

namespace tw::sim {

class RunLimit;

class SimHandset {
 public:
  // The clock carries the handset's own pauses and reply delays.
  SimHandset(SimConfig config, ISimTransport& transport, IClock& clock);
  ~SimHandset();  // stops the run and joins its thread
  SimHandset(const SimHandset&) = delete;
  SimHandset& operator=(const SimHandset&) = delete;

  // Images to compare the received ones with at the end of the run; taken
  // only before Start.
  void SetExpected(SimImages images);
  // The same, shared with other handsets (read only).
  void SetExpected(std::shared_ptr<const SimImages> images);
  // After the phone pause the COM port arrives only once ready() is true
  // (asked on the handset's thread every few ms, within the run's limit), so
  // that the ports of several handsets can arrive in an order of the test's
  // choosing. Taken only before Start.
  void SetComGate(std::function<bool()> ready);
  // Switches the handset on: the PDA side arrives. False when already started
  // or when the transport cannot announce it.
  bool Start();
  // Waits at most timeoutMs (real time) for the run to end; true when it has.
  bool WaitEnd(int timeoutMs);
  bool Ended() const;
  // Ends the run now (the end is "stopped" unless it had already ended).
  void Stop();

  // The findings so far; after the end with the verification.
  SimSummary Summary() const;
  // What the handset stored. Read it only after the end.
  const SimFlash& Flash() const { return m_flash; }

 private:
  // Each side returns how the run ended: "finish", "phone-done", ...
  std::string RunPda(std::unique_ptr<ISimPort> port, const RunLimit& limit);
  std::string RunPhone(const RunLimit& limit);
  // False when the run's limit came before the COM gate opened.
  bool WaitComGate(const RunLimit& limit);
  void Finish(const std::string& end);

  SimConfig m_config;
  ISimTransport& m_transport;
  IClock& m_clock;
  std::shared_ptr<const SimImages> m_expected;
  std::function<bool()> m_comReady;
  SimFlash m_flash;
  SimRecorder m_recorder;
  mutable std::mutex m_endLock;
  std::condition_variable m_endChanged;
  bool m_ended = false;
  std::jthread m_thread;
};

}  // namespace tw::sim
