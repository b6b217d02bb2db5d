// Test kit of the downloader's tests: an owner with virtual time, sinks that
// keep what they were shown, a device provider that records every byte the
// host writes, and the images and wire records the tests compare with.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "download/download.h"
#include "download/downloadowner.h"
#include "download/downloadsinks.h"
#include "firmware/bufbin.h"
#include "firmware/dloadfile.h"
#include "firmware/imagetable.h"
#include "pda/pdacommands.h"
#include "platform/clock.h"
#include "platform/deviceprovider.h"
#include "sim/inprocchannel.h"
#include "sim/simhandset.h"

namespace tw::test {

using Bytes = std::vector<std::uint8_t>;

// One write of the host, as the device took it.
struct WireWrite {
  bool bPort = false;  // written to a COM port (else to the USB interface)
  Bytes bytes;
};

// Passes every open on to another provider and records the host's writes.
class RecordingProvider final : public IDeviceProvider {
 public:
  explicit RecordingProvider(IDeviceProvider& inner) : m_inner(inner) {}
  std::vector<std::string> EnumerateInterfaces(const GUID& cls) override {
    return m_inner.EnumerateInterfaces(cls);
  }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string& path, std::string* error) override;
  std::unique_ptr<IByteDevice> OpenPort(const std::string& name, std::string* error) override;

  void Record(bool bPort, const void* src, std::size_t n);
  std::vector<WireWrite> Writes() const;
  // The USB writes only / the COM port writes only.
  std::vector<Bytes> UsbWrites() const;
  std::vector<Bytes> PortWrites() const;
  // Names given to OpenPort, in order.
  std::vector<std::string> PortNames() const;

 private:
  IDeviceProvider& m_inner;
  mutable std::mutex m_lock;
  std::vector<WireWrite> m_writes;
  std::vector<std::string> m_portNames;
};

// The log box: its whole text after each line.
class TestLog final : public ILogSink {
 public:
  void SetLogText(const std::string& text) override;
  std::string Text() const;
  // Every text it was shown, in order.
  std::vector<std::string> Shown() const;

 private:
  mutable std::mutex m_lock;
  std::vector<std::string> m_shown;
};

// The progress bar: every report as (position, caption).
class TestProgress final : public IProgressSink {
 public:
  void SetText(const std::string& text) override;
  void SetPos(int pos) override;
  std::vector<std::pair<int, std::string>> Reports() const;
  std::vector<std::string> Texts() const;

 private:
  mutable std::mutex m_lock;
  std::string m_text;
  std::vector<std::pair<int, std::string>> m_reports;
};

// Virtual time that still takes the phone exchange's 5 ms pauses in real
// time: the handset's answers to the two unread opening jumps must be queued
// before the next exchange reads, as they are on a real line. Every sleep is
// recorded in the virtual clock.
class PacedClock final : public IClock {
 public:
  static constexpr std::uint32_t kPacedMs = 5;
  explicit PacedClock(VirtualClock& clock) : m_clock(clock) {}
  bool Sleep(std::uint32_t ms, std::stop_token stop = {}) override;
  std::uint32_t GetTickCount() override { return m_clock.GetTickCount(); }

 private:
  VirtualClock& m_clock;
  RealClock m_real;
};

// The main dialog as the downloader sees it, with virtual time.
// What a downloader reported through its observer: runs begun and ended,
// and each stage's start and end ("+eboot", "-eboot:done"), in order.
class RunReportLog final : public IRunObserver {
 public:
  void OnRunStarted(int nSlot) override;
  void OnStageStarted(int nSlot, const StageInfo& stage) override;
  void OnStageEnded(int nSlot, const StageInfo& stage, const StageOutcome& outcome) override;
  void OnRunEnded(const RunEnd& end) override;
  int Started() const;
  std::vector<RunEnd> Ended() const;
  std::vector<std::string> Stages() const;

 private:
  mutable std::mutex m_lock;
  int m_nStarted = 0;
  std::vector<RunEnd> m_ended;
  std::vector<std::string> m_stages;
};

class TestOwner final : public IDownloadOwner, public DownloadOwnerFlags {
 public:
  explicit TestOwner(IDeviceProvider& devices) : m_devices(devices) {}

  DownloadOwnerFlags& OwnerFlags() override { return *this; }
  const CDloadFile& PhoneFile() override { return m_pPhoneFile ? *m_pPhoneFile : m_PhoneFile; }
  void PostMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) override;
  // Records the end event, then counts it as WM_DOWNLOAD_DONE.
  void PostRunEnd(const RunEnd& end) override;
  IClock& Clock() override { return m_pClock ? *m_pClock : m_paced; }
  IDeviceProvider& Devices() override { return m_devices; }
  PhonePacing Pacing() override { return m_pacing; }
  IRunObserver* RunObserver() override { return &m_reports; }

  // How often nMsg was posted, and its last wParam and lParam.
  int Posted(UINT nMsg) const;
  std::pair<WPARAM, LPARAM> LastPosted(UINT nMsg) const;
  // Waits (real time) until nMsg has been posted count times.
  bool WaitPosted(UINT nMsg, int count, int timeoutMs) const;
  // Every end event, in order.
  std::vector<RunEnd> Ends() const;
  // Runs on another clock (real time) or another phone image than its own.
  void UseClock(IClock& clock) { m_pClock = &clock; }
  void UsePhoneFile(const CDloadFile& file) { m_pPhoneFile = &file; }
  void UsePacing(PhonePacing pacing) { m_pacing = pacing; }

  VirtualClock m_clock;
  CDloadFile m_PhoneFile;
  RunReportLog m_reports;
  // Runs on the ending worker after each end event was posted (set it
  // before the run starts).
  std::function<void()> onRunEnd;

 private:
  PacedClock m_paced{m_clock};

 public:
 private:
  IClock* m_pClock = nullptr;
  const CDloadFile* m_pPhoneFile = nullptr;
  std::atomic<PhonePacing> m_pacing{PhonePacing::Fixed};
  IDeviceProvider& m_devices;
  mutable std::mutex m_lock;
  mutable std::condition_variable m_posted;
  std::map<UINT, int> m_messages;
  std::map<UINT, std::pair<WPARAM, LPARAM>> m_lastParams;
  std::vector<RunEnd> m_ends;
};

// A package's images in memory, with the image table over them.
struct TestImages {
  CBufBin ebootBin;
  CBufBin pdaBin;
  ImageTable table;
  Bytes eboot, pda, phone;

  TestImages(Bytes ebootBytes, Bytes pdaBytes, DWORD dwPhoneSize);
};

// A downloader in slot 0 against the simulated handset on the in-process
// channel: the downloader in virtual time, the handset in a virtual time of
// its own. Members are destroyed downloader first.
class SimRig {
 public:
  SimRig();
  ~SimRig();

  // Switches the handset on with these images, as a package would carry them.
  void StartHandset(sim::SimConfig config, const TestImages& images, const Bytes& phone, bool bFullSet);
  // The handset's own delays and the gaps of its split replies pass in real
  // time (call before StartHandset); by default they are virtual.
  void HandsetInRealTime() { m_pSimClock = &m_realSimClock; }
  // Loads the phone image into the owner's m_PhoneFile.
  void LoadPhoneFile(const Bytes& phone);
  // Forgets the arrivals seen so far (before the next handset).
  void ForgetArrivals();
  // Waits (real time) for the COM port of the hand-over to arrive.
  bool WaitForPort(const std::string& name, int timeoutMs);
  // A phone-only Start: connects the PDA side and sends the handset into
  // phone mode. FALSE when the handshake failed.
  BOOL StartPhoneOnly(TestImages& images);
  // Waits for COM<nPort> to arrive and connects the phone side to it.
  BOOL ConnectPort(int nPort);
  // Waits for the handset's run to end and returns its summary.
  sim::SimSummary EndHandset(int timeoutMs);

  sim::InProcChannel m_channel;
  RecordingProvider m_provider{m_channel.Provider()};
  TestOwner m_owner{m_provider};
  VirtualClock m_simClock;
  RealClock m_realSimClock;
  IClock* m_pSimClock = &m_simClock;
  TestLog m_log;
  TestProgress m_progress;
  std::unique_ptr<sim::SimHandset> m_handset;
  std::unique_ptr<CDownLoad> m_dl;

 private:
  PhonePort m_port;
  std::unique_ptr<IDeviceEventSource> m_events;
  std::mutex m_lock;
  std::condition_variable m_arrived;
  std::vector<std::string> m_arrivals;
};

// What a phone-only run left behind: the host's port writes, the handset's
// findings and the bar's last text.
struct PhoneRunResult {
  std::vector<Bytes> portWrites;
  sim::SimSummary summary;
  std::string lastProgress;
};

// A phone-only run of `phone` (the EFS and CODE regions) through a SimRig,
// with this pacing, against the handset configured so; its own delays in
// real time when bHandsetInRealTime.
PhoneRunResult RunPhoneOnly(PhonePacing pacing, sim::SimConfig config, const Bytes& phone,
                            bool bHandsetInRealTime);

// Waits (real time, polling every 10 ms) until a condition holds; false when
// it did not within timeoutMs.
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// n bytes of a repeatable pattern (seeded so images differ).
Bytes Pattern(std::size_t n, std::uint32_t seed);
// Writes bytes to a fresh file in the temporary directory; returns its path.
std::string WriteTempFile(const Bytes& bytes, const std::string& stem);

// The bytes of a PDA command as the host writes it.
Bytes Command(DWORD dwCommand, DWORD dwImageSize = 0, DWORD dwNandMask = 0);
// An EBOOT data record carrying image bytes [offset, offset + n).
Bytes EbootRecord(const Bytes& image, std::size_t offset, std::size_t n);
// An OS-image packet carrying image bytes [offset, offset + n).
Bytes OsPacket(const Bytes& image, std::size_t offset, std::size_t n);

// Compares two write sequences; on a difference, names the first write that
// differs, with its length and first word, instead of dumping every byte.
::testing::AssertionResult SameWrites(const std::vector<Bytes>& actual, const std::vector<Bytes>& expected);

// The sleeps of a virtual clock that are not 0 ms.
std::vector<std::uint32_t> Sleeps(const VirtualClock& clock);

// A whole upgrade through one downloader in slot 0, with the handset on a
// device directory: connect, Start, wait for the hand-over and the COM<comPort>
// entry, connect the phone, and wait for the end of the run. The downloader is
// deleted (its workers joined) before this returns.
::testing::AssertionResult RunWholeUpgrade(TestOwner& owner, ImageTable* table, const std::string& devDir,
                                           int comPort, TestLog& log, TestProgress& progress);

}  // namespace tw::test
