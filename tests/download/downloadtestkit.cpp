#include "tests/download/downloadtestkit.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/byteorder.h"

namespace tw::test {

namespace {

// Silent devices make the tests wait for the read bounds: keep them short.
// Set before the first use of the tunables; the environment still wins.
const bool kShortBounds = [] {
  setenv("TIDEWELL_USB_READ_PASS_MS", "5", 0);
  setenv("TIDEWELL_PHONE_RX_FLOOR_MS", "150", 0);
  return true;
}();

class RecordingDevice final : public IByteDevice {
 public:
  RecordingDevice(std::unique_ptr<IByteDevice> inner, RecordingProvider& owner, bool bPort)
      : m_inner(std::move(inner)), m_owner(owner), m_bPort(bPort) {}
  long BytesWaiting() override { return m_inner->BytesWaiting(); }
  int WaitReceive(int timeoutMs) override { return m_inner->WaitReceive(timeoutMs); }
  long Read(void* dst, std::size_t n) override { return m_inner->Read(dst, n); }
  bool Write(const void* src, std::size_t n, int timeoutMs) override {
    m_owner.Record(m_bPort, src, n);
    return m_inner->Write(src, n, timeoutMs);
  }
  void Purge() override { m_inner->Purge(); }

 private:
  std::unique_ptr<IByteDevice> m_inner;
  RecordingProvider& m_owner;
  bool m_bPort;
};

}  // namespace

std::unique_ptr<IByteDevice> RecordingProvider::OpenInterface(const std::string& path, std::string* error) {
  auto device = m_inner.OpenInterface(path, error);
  if (!device) return nullptr;
  return std::make_unique<RecordingDevice>(std::move(device), *this, false);
}

std::unique_ptr<IByteDevice> RecordingProvider::OpenPort(const std::string& name, std::string* error) {
  {
    std::lock_guard guard(m_lock);
    m_portNames.push_back(name);
  }
  auto device = m_inner.OpenPort(name, error);
  if (!device) return nullptr;
  return std::make_unique<RecordingDevice>(std::move(device), *this, true);
}

void RecordingProvider::Record(bool bPort, const void* src, std::size_t n) {
  const auto* bytes = static_cast<const std::uint8_t*>(src);
  std::lock_guard guard(m_lock);
  m_writes.push_back(WireWrite{bPort, Bytes(bytes, bytes + n)});
}

std::vector<WireWrite> RecordingProvider::Writes() const {
  std::lock_guard guard(m_lock);
  return m_writes;
}

std::vector<Bytes> RecordingProvider::UsbWrites() const {
  std::vector<Bytes> result;
  for (const WireWrite& write : Writes()) {
    if (!write.bPort) result.push_back(write.bytes);
  }
  return result;
}

std::vector<Bytes> RecordingProvider::PortWrites() const {
  std::vector<Bytes> result;
  for (const WireWrite& write : Writes()) {
    if (write.bPort) result.push_back(write.bytes);
  }
  return result;
}

std::vector<std::string> RecordingProvider::PortNames() const {
  std::lock_guard guard(m_lock);
  return m_portNames;
}

void TestLog::SetLogText(const std::string& text) {
  std::lock_guard guard(m_lock);
  m_shown.push_back(text);
}

std::string TestLog::Text() const {
  std::lock_guard guard(m_lock);
  return m_shown.empty() ? std::string() : m_shown.back();
}

std::vector<std::string> TestLog::Shown() const {
  std::lock_guard guard(m_lock);
  return m_shown;
}

void TestProgress::SetText(const std::string& text) {
  std::lock_guard guard(m_lock);
  m_text = text;
}

void TestProgress::SetPos(int pos) {
  std::lock_guard guard(m_lock);
  m_reports.emplace_back(pos, m_text);
}

std::vector<std::pair<int, std::string>> TestProgress::Reports() const {
  std::lock_guard guard(m_lock);
  return m_reports;
}

std::vector<std::string> TestProgress::Texts() const {
  std::vector<std::string> texts;
  for (const auto& report : Reports()) texts.push_back(report.second);
  return texts;
}

bool PacedClock::Sleep(std::uint32_t ms, std::stop_token stop) {
  if (ms > 0 && ms <= kPacedMs) m_real.Sleep(ms, stop);
  return m_clock.Sleep(ms, stop);
}

void TestOwner::PostMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard guard(m_lock);
  ++m_messages[nMsg];
  m_lastParams[nMsg] = {wParam, lParam};
  m_posted.notify_all();
}

void RunReportLog::OnRunStarted(int /*nSlot*/) {
  std::lock_guard guard(m_lock);
  ++m_nStarted;
}

void RunReportLog::OnStageStarted(int /*nSlot*/, const StageInfo& stage) {
  std::lock_guard guard(m_lock);
  m_stages.push_back(std::string("+") + RunStageName(stage.stage) +
                     (stage.region.empty() ? "" : " " + stage.region));
}

void RunReportLog::OnStageEnded(int /*nSlot*/, const StageInfo& stage, const StageOutcome& outcome) {
  static constexpr const char* kEnds[] = {"done", "handed_over", "failed", "stopped"};
  std::lock_guard guard(m_lock);
  m_stages.push_back(std::string("-") + RunStageName(stage.stage) +
                     (stage.region.empty() ? "" : " " + stage.region) + ":" +
                     kEnds[static_cast<int>(outcome.result.end)]);
}

void RunReportLog::OnRunEnded(const RunEnd& end) {
  std::lock_guard guard(m_lock);
  m_ended.push_back(end);
}

int RunReportLog::Started() const {
  std::lock_guard guard(m_lock);
  return m_nStarted;
}

std::vector<RunEnd> RunReportLog::Ended() const {
  std::lock_guard guard(m_lock);
  return m_ended;
}

std::vector<std::string> RunReportLog::Stages() const {
  std::lock_guard guard(m_lock);
  return m_stages;
}

void TestOwner::PostRunEnd(const RunEnd& end) {
  {
    std::lock_guard guard(m_lock);
    m_ends.push_back(end);
  }
  IDownloadOwner::PostRunEnd(end);
  if (onRunEnd) onRunEnd();
}

std::vector<RunEnd> TestOwner::Ends() const {
  std::lock_guard guard(m_lock);
  return m_ends;
}

std::pair<WPARAM, LPARAM> TestOwner::LastPosted(UINT nMsg) const {
  std::lock_guard guard(m_lock);
  auto it = m_lastParams.find(nMsg);
  return it == m_lastParams.end() ? std::pair<WPARAM, LPARAM>{} : it->second;
}

int TestOwner::Posted(UINT nMsg) const {
  std::lock_guard guard(m_lock);
  auto it = m_messages.find(nMsg);
  return it == m_messages.end() ? 0 : it->second;
}

bool TestOwner::WaitPosted(UINT nMsg, int count, int timeoutMs) const {
  std::unique_lock guard(m_lock);
  return m_posted.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
    auto it = m_messages.find(nMsg);
    return it != m_messages.end() && it->second >= count;
  });
}

SimRig::SimRig() {
  m_owner.m_bSlotIdle[0] = 1;
  m_events = m_channel.NewEventSource();
  m_events->Start([this](const DeviceEvent& event) {
    if (event.action != DeviceEvent::Action::Arrival) return;
    std::lock_guard guard(m_lock);
    m_arrivals.push_back(event.name);
    m_arrived.notify_all();
  });
  m_dl = std::make_unique<CDownLoad>(&m_owner, 0);
  m_dl->SetLogEdit(&m_log);
  m_dl->SetProgressCtrl(&m_progress);
}

SimRig::~SimRig() {
  m_dl.reset();
  m_handset.reset();
  m_events->Stop();
}

void SimRig::StartHandset(sim::SimConfig config, const TestImages& images, const Bytes& phone,
                          bool bFullSet) {
  m_handset = std::make_unique<sim::SimHandset>(std::move(config), m_channel, *m_pSimClock);
  sim::SimImages expected;
  expected.hasEboot = !images.eboot.empty();
  expected.eboot = images.eboot;
  expected.os = images.pda;
  expected.phone = phone;
  expected.phoneFullSet = bFullSet;
  m_handset->SetExpected(std::move(expected));
  m_handset->Start();
}

void SimRig::LoadPhoneFile(const Bytes& phone) {
  const std::string path = WriteTempFile(phone, "tidewell-phone");
  m_owner.m_PhoneFile.OpenFile(path);
  m_owner.m_PhoneFile.MakePackets();
  std::filesystem::remove(path);
}

void SimRig::ForgetArrivals() {
  std::lock_guard guard(m_lock);
  m_arrivals.clear();
}

bool SimRig::WaitForPort(const std::string& name, int timeoutMs) {
  std::unique_lock guard(m_lock);
  return m_arrived.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
    return std::find(m_arrivals.begin(), m_arrivals.end(), name) != m_arrivals.end();
  });
}

BOOL SimRig::StartPhoneOnly(TestImages& images) {
  if (!m_dl->ConnectPda(&images.table, 0)) return FALSE;
  m_dl->StartPhoneDownload(0);
  return TRUE;
}

BOOL SimRig::ConnectPort(int nPort) {
  if (!WaitForPort("COM" + std::to_string(nPort), 10000)) return FALSE;
  m_dl->m_nPort = nPort;
  m_port.nPort = nPort;
  return m_dl->ConnectPhone(&m_port, 0);
}

sim::SimSummary SimRig::EndHandset(int timeoutMs) {
  m_handset->WaitEnd(timeoutMs);
  m_handset->Stop();
  return m_handset->Summary();
}

PhoneRunResult RunPhoneOnly(PhonePacing pacing, sim::SimConfig config, const Bytes& phone,
                            bool bHandsetInRealTime) {
  SimRig rig;
  if (bHandsetInRealTime) rig.HandsetInRealTime();
  TestOwner& owner = rig.m_owner;
  owner.UsePacing(pacing);
  owner.m_bDownEboot = 0;
  owner.m_bDownPda = 0;
  owner.m_bDownPhone = 1;
  owner.m_bPhoneFullSet = 0;
  TestImages images({}, {}, static_cast<DWORD>(phone.size()));
  rig.LoadPhoneFile(phone);
  config.phoneRegions = 2;
  rig.StartHandset(config, images, phone, false);
  if (rig.StartPhoneOnly(images)) rig.ConnectPort(config.comPort);
  rig.m_dl->JoinWorkers();
  PhoneRunResult result;
  result.portWrites = rig.m_provider.PortWrites();
  const std::vector<std::string> texts = rig.m_progress.Texts();
  result.lastProgress = texts.empty() ? std::string() : texts.back();
  rig.m_dl.reset();  // lets go of the port, also after a run that ended without a reset
  result.summary = rig.EndHandset(10000);
  return result;
}

TestImages::TestImages(Bytes ebootBytes, Bytes pdaBytes, DWORD dwPhoneSize)
    : eboot(std::move(ebootBytes)), pda(std::move(pdaBytes)) {
  ebootBin.CopyEboot(eboot.data(), static_cast<DWORD>(eboot.size()));
  pdaBin.CopyPda(pda.data(), static_cast<DWORD>(pda.size()));
  table.pEbootBin = eboot.empty() ? nullptr : &ebootBin;
  table.dwEbootSize = static_cast<DWORD>(eboot.size());
  table.pPdaBin = &pdaBin;
  table.dwPdaSize = static_cast<DWORD>(pda.size());
  table.dwPhoneSize = dwPhoneSize;
}

Bytes Pattern(std::size_t n, std::uint32_t seed) {
  Bytes bytes(n);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

std::string WriteTempFile(const Bytes& bytes, const std::string& stem) {
  static std::atomic<int> counter{0};
  const auto path = std::filesystem::temp_directory_path() /
                    (stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".bin");
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

Bytes Command(DWORD dwCommand, DWORD dwImageSize, DWORD dwNandMask) {
  data_packet packet;
  packet.SetCommand(dwCommand, dwImageSize, dwNandMask);
  const auto encoded = packet.Encode();
  return Bytes(encoded.begin(), encoded.begin() + static_cast<long>(packet.WireSize()));
}

Bytes EbootRecord(const Bytes& image, std::size_t offset, std::size_t n) {
  data_packet packet;
  packet.SetCommand(PDA_CMD_EBOOT_DATA, static_cast<DWORD>(image.size()));
  packet.SetData(image.data() + offset, n);
  const auto encoded = packet.Encode();
  return Bytes(encoded.begin(), encoded.end());
}

Bytes OsPacket(const Bytes& image, std::size_t offset, std::size_t n) {
  os_data_packet packet;
  packet.SetData(n > 0 ? image.data() + offset : nullptr, n);
  const auto encoded = packet.Encode();
  return Bytes(encoded.begin(), encoded.end());
}

namespace {

std::string Describe(const Bytes& write) {
  std::string text = std::to_string(write.size()) + " bytes";
  if (write.size() >= 4) text += ", first word " + std::to_string(LoadLe32(write.data()));
  return text;
}

}  // namespace

::testing::AssertionResult SameWrites(const std::vector<Bytes>& actual, const std::vector<Bytes>& expected) {
  const std::size_t common = std::min(actual.size(), expected.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (actual[i] != expected[i]) {
      return ::testing::AssertionFailure() << "write " << i << " differs: got " << Describe(actual[i])
                                           << ", expected " << Describe(expected[i]);
    }
  }
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << "got " << actual.size() << " writes, expected " << expected.size()
           << (actual.size() > common ? "; first extra: " + Describe(actual[common])
                                      : "; first missing: " + Describe(expected[common]));
  }
  return ::testing::AssertionSuccess();
}

std::vector<std::uint32_t> Sleeps(const VirtualClock& clock) {
  std::vector<std::uint32_t> sleeps = clock.Sleeps();
  sleeps.erase(std::remove(sleeps.begin(), sleeps.end(), 0u), sleeps.end());
  return sleeps;
}

::testing::AssertionResult RunWholeUpgrade(TestOwner& owner, ImageTable* table, const std::string& devDir,
                                           int comPort, TestLog& log, TestProgress& progress) {
  const std::string comEntry = devDir + "/COM" + std::to_string(comPort);
  CDownLoad dl(&owner, 0);
  dl.SetLogEdit(&log);
  dl.SetProgressCtrl(&progress);
  if (!dl.ConnectPda(table, 0)) return ::testing::AssertionFailure() << "connect failed\n" << log.Text();
  dl.StartDownload(0);
  if (!WaitFor([&] { return owner.m_bPhoneStage[0] == 1; }, 60000)) {
    return ::testing::AssertionFailure() << "no hand-over\n" << log.Text();
  }
  if (!WaitFor([&] { return std::filesystem::exists(comEntry); }, 10000)) {
    return ::testing::AssertionFailure() << comEntry << " did not appear";
  }
  PhonePort port{comPort};
  dl.m_nPort = comPort;
  if (!dl.ConnectPhone(&port, 0))
    return ::testing::AssertionFailure() << "phone connect failed\n" << log.Text();
  if (!owner.WaitPosted(WM_DOWNLOAD_DONE, 1, 120000)) {
    return ::testing::AssertionFailure() << "the run did not end\n" << log.Text();
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tw::test
