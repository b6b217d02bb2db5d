// A CTidewellDlgLogic on a message loop and a virtual clock, with a fake
// view, fake device events and scripted fake downloaders.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/devicechange.h"
#include "app/tidewelldlglogic.h"
#include "platform/clock.h"
#include "platform/messageloop.h"
#include "tests/app/logicservices.h"

namespace tw::test {

class RecordingView final : public ITidewellView, public ILogSink, public IProgressSink {
 public:
  void EnableStart(BOOL bEnable) override { m_bStartEnabled = bEnable; }
  void MessageBox(const std::string& text, const std::string&, MessageIcon) override {
    m_MessageBoxes.push_back(text);
  }
  ILogSink* LogEdit() override { return this; }
  IProgressSink* ProgressBar() override { return this; }
  void EndDialog(int nResult) override { m_EndResults.push_back(nResult); }
  void StationNote(const std::string& line) override { m_Notes.push_back(line); }
  void DownloadDone(const RunEnd& end) override {
    m_DoneSlots.push_back(end.nSlot);
    m_Ends.push_back(end);
  }

  void SetLogText(const std::string& text) override {
    std::lock_guard guard(m_lock);
    m_strLog = text;
  }
  void SetText(const std::string& text) override {
    std::lock_guard guard(m_lock);
    m_strProgress = text;
  }
  void SetPos(int) override {}

  BOOL m_bStartEnabled = FALSE;
  std::vector<std::string> m_MessageBoxes;
  std::vector<int> m_EndResults;
  std::vector<int> m_DoneSlots;
  std::vector<RunEnd> m_Ends;
  std::vector<std::string> m_Notes;
  std::mutex m_lock;
  std::string m_strLog;
  std::string m_strProgress;
};

class NoDevices final : public IDeviceProvider {
 public:
  std::vector<std::string> EnumerateInterfaces(const GUID&) override { return {}; }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string&, std::string* error) override {
    *error = "no device";
    return nullptr;
  }
  std::unique_ptr<IByteDevice> OpenPort(const std::string&, std::string* error) override {
    *error = "no device";
    return nullptr;
  }
};

class FakeEventSource final : public IDeviceEventSource {
 public:
  bool Start(Sink sink) override {
    ++m_nStarts;
    if (!m_bStartSucceeds) {
      return false;
    }
    m_Sink = std::move(sink);
    return true;
  }
  void Stop() override {
    ++m_nStops;
    m_Sink = nullptr;
  }
  bool m_bStartSucceeds = true;
  int m_nStarts = 0;
  int m_nStops = 0;
  Sink m_Sink;
};

// What every fake downloader of a harness did, by creation number.
struct DownloaderRecord {
  int nPortAtConstruction = 0;
  std::vector<std::string> calls;
  int nDestroyed = 0;
};

class FakeDownloader;

struct Script {
  BOOL bConnectPda = TRUE;
  BOOL bConnectPhone = TRUE;
  BOOL bPhonePortOpen = FALSE;
  // A connect's end waits for FinishConnect, as a real one runs on its
  // worker; otherwise it is posted at once.
  bool bManualConnectEnd = false;
  // Runs as each connect begins (a real one logs and reports progress there).
  std::function<void(FakeDownloader&)> duringConnect;
  // Where each slot's handset is plugged in, as its PDA connect learns it.
  std::map<int, std::string> locations;
};

class FakeDownloader final : public ISlotDownloader {
 public:
  FakeDownloader(CTidewellDlgLogic& owner, Script& script, DownloaderRecord& record)
      : m_Owner(owner), m_Script(script), m_Record(record) {}
  ~FakeDownloader() override { ++m_Record.nDestroyed; }

  // A connect's result is decided when it begins, and posted as the real
  // one's worker posts it: WM_CONNECT_DONE.
  void ConnectPda(ImageTable*, int nIndex) override {
    Call("ConnectPda " + std::to_string(nIndex));
    m_nSlot = nIndex;
    Begin(nIndex, m_Script.bConnectPda ? ConnectResult::PdaConnected : ConnectResult::PdaFailed);
  }
  void ConnectPhone(int nPort, int nIndex) override {
    Call("ConnectPhone " + std::to_string(nPort) + " " + std::to_string(nIndex));
    Begin(nIndex, m_Script.bConnectPhone ? ConnectResult::PhoneConnected : ConnectResult::PhoneFailed);
  }
  // Ends the oldest connect still running (bManualConnectEnd).
  void FinishConnect() {
    ASSERT_FALSE(m_Running.empty());
    const auto [nIndex, result] = m_Running.front();
    m_Running.pop_front();
    if (result == ConnectResult::PdaConnected) {
      m_bCreateUsb = TRUE;
    }
    m_Owner.PostMessage(WM_CONNECT_DONE, static_cast<WPARAM>(nIndex), static_cast<LPARAM>(result));
  }
  void StartDownload(int nIndex) override {
    Call("StartDownload " + std::to_string(nIndex));
    m_Owner.m_bDownStart[nIndex] = 1;
  }
  void StartPhoneDownload(int nIndex) override {
    Call("StartPhoneDownload " + std::to_string(nIndex));
    m_Owner.m_bDownStart[nIndex] = 1;
    m_Owner.m_bPhoneStage[nIndex] = 1;
    m_bCreateUsb = FALSE;
  }
  void SetProgressCtrl(IProgressSink* p) override { m_pProgress = p; }
  void SetLogEdit(ILogSink* p) override { m_pLog = p; }
  void ClearProgressCtrl() override {
    Call("ClearProgressCtrl");
    m_pProgress = nullptr;
  }
  void ClearLog() override {
    Call("ClearLog");
    m_pLog = nullptr;
  }
  void SetPort(int nPort) override { Call("SetPort " + std::to_string(nPort)); }
  BOOL CreateUsb() const override { return m_bCreateUsb; }
  BOOL PhonePortOpen() const override { return m_Script.bPhonePortOpen; }
  void PreferInterface(const std::string& path) override {
    if (!path.empty()) Call("PreferInterface " + path);
  }
  std::string PdaLocation() const override {
    const auto found = m_Script.locations.find(m_nSlot);
    return found == m_Script.locations.end() ? std::string() : found->second;
  }

  // The end of a run as a worker ends it: reset, then WM_DOWNLOAD_DONE.
  void EndRun(int nIndex) {
    m_Owner.m_bPhoneStage[nIndex] = 0;
    m_bCreateUsb = FALSE;
    m_Owner.PostMessage(WM_DOWNLOAD_DONE, static_cast<WPARAM>(nIndex), 0);
  }

  CTidewellDlgLogic& m_Owner;
  IProgressSink* m_pProgress = nullptr;
  ILogSink* m_pLog = nullptr;

 private:
  void Call(std::string what) { m_Record.calls.push_back(std::move(what)); }
  void Begin(int nIndex, ConnectResult result) {
    if (m_Script.duringConnect) {
      m_Script.duringConnect(*this);
    }
    m_Running.emplace_back(nIndex, result);
    if (!m_Script.bManualConnectEnd) {
      FinishConnect();
    }
  }

  std::deque<std::pair<int, ConnectResult>> m_Running;

  Script& m_Script;
  DownloaderRecord& m_Record;
  BOOL m_bCreateUsb = FALSE;
  int m_nSlot = 0;
};

class LogicHarness {
 public:
  // nSlots armed; bAutoStart starts each connected slot and lets handsets
  // wait for a free slot.
  explicit LogicHarness(int nSlots = 1, bool bAutoStart = false) {
    CTidewellDlgLogic::Services services = LogicServices(
        m_View, m_Loop, m_Clock, m_Devices, m_Events,
        [this](IDownloadOwner*, int nPort) -> std::unique_ptr<ISlotDownloader> {
          m_Records.emplace_back();
          m_Records.back().nPortAtConstruction = nPort;
          auto downloader = std::make_unique<FakeDownloader>(*m_pLogic, m_Script, m_Records.back());
          m_pLast = downloader.get();
          return downloader;
        });
    services.nSlots = nSlots;
    services.bAutoStart = bAutoStart;
    m_pLogic = std::make_unique<CTidewellDlgLogic>(std::move(services));
    m_pLogic->OnInitDialog();
  }

  CTidewellDlgLogic& Logic() { return *m_pLogic; }

  // A device event as the event source reports it, handled once the loop runs.
  void Event(DeviceEvent::Action action, DeviceEvent::Kind kind, const std::string& name,
             const std::string& location = {}) {
    m_Events.m_Sink(DeviceEvent{action, kind, name, location});
  }
  void Arrive(const std::string& name) { Event(DeviceEvent::Action::Arrival, KindOf(name), name); }
  void Remove(const std::string& name) { Event(DeviceEvent::Action::Removal, KindOf(name), name); }
  // Device-directory naming: COM<n> and LPT<n> are ports, the rest is not.
  static DeviceEvent::Kind KindOf(const std::string& name) {
    return name.rfind("COM", 0) == 0 || name.rfind("LPT", 0) == 0 ? DeviceEvent::Kind::Port
                                                                  : DeviceEvent::Kind::Other;
  }

  // Runs everything posted so far, and what that posts in turn.
  void Drain() {
    for (int i = 0; i < 100; ++i) {
      m_Loop.PumpMessages();
    }
  }

  // Slot 0 connected: the handset arrived and answered the hello.
  void Connect() {
    Arrive("pda0");
    Drain();
  }
  void SetImages(int eboot, int pda, int phone, int loaded = 1) {
    m_pLogic->m_bDownEboot = eboot;
    m_pLogic->m_bDownPda = pda;
    m_pLogic->m_bDownPhone = phone;
    m_pLogic->m_Images.m_bImageLoaded = loaded;
  }
  void PressStart() {
    m_pLogic->OnStart();
    Drain();
  }

  // Every call made on the downloaders, in creation order.
  std::vector<std::string> Calls() const {
    std::vector<std::string> all;
    for (const DownloaderRecord& record : m_Records) {
      all.insert(all.end(), record.calls.begin(), record.calls.end());
    }
    return all;
  }
  int CountCalls(const std::string& prefix) const {
    int n = 0;
    for (const std::string& call : Calls()) {
      n += call.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return n;
  }

  RecordingView m_View;
  CMessageLoop m_Loop;
  VirtualClock m_Clock;
  NoDevices m_Devices;
  FakeEventSource m_Events;
  Script m_Script;
  std::deque<DownloaderRecord> m_Records;  // stable addresses
  FakeDownloader* m_pLast = nullptr;
  std::unique_ptr<CTidewellDlgLogic> m_pLogic;
};

}  // namespace tw::test
