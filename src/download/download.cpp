#include "download/download.h"

#include <cstdarg>

#include "download/downloadtext.h"
#include "download/inertowner.h"
#include "download/phoneparams.h"
#include "firmware/imagetable.h"
#include "pda/pdacommands.h"
#include "platform/trace.h"

namespace tw {

CDownLoad::CDownLoad(IDownloadOwner* pOwner, int nPort)
    : m_pOwner(pOwner), m_nPort(nPort), m_pActiveOwner(pOwner) {
  if (!m_pActiveOwner) {
    m_pInertOwner = MakeInertOwner();
    m_pActiveOwner = m_pInertOwner.get();
  }
  m_Usb.SetProvider(&Owner().Devices());
  m_Usb.SetStopToken(m_stop.get_token());
  m_Serial.SetProvider(&Owner().Devices());
  m_Serial.SetClock(Owner().Clock());
  m_Serial.SetStopToken(m_stop.get_token());
  m_Usb.SetConsole([this](const std::string& text) {
    const int nSlot = m_nIndex;
    Report([&](IRunObserver& observer) { observer.OnConsoleText(nSlot, text); });
  });
  m_observers.push_back(&m_sinks);
  if (IRunObserver* pObserver = Owner().RunObserver()) m_observers.push_back(pObserver);
}

CDownLoad::~CDownLoad() {
  m_bDestroying = true;
  RequestStop();
  JoinWorkers();
  if (m_Serial.IsOpen()) m_Serial.Close();
  // A run still open (connected, never started, or waiting for its COM
  // port) ends here as stopped.
  if (m_bRunOpen) {
    ReportRunEnded(MakeRunEnd(m_nIndex, RunOutcome::Stopped, "the program closed before the run ended"));
  }
}

// ---- Connects ----

BOOL CDownLoad::ConnectPda(ImageTable* pTable, int nIndex) {
  WaitForEndedRun();
  m_nIndex = nIndex;
  SetWhere("", 0);
  BeginRun(nIndex);
  LogMessage("[StartDownload => %d] StartDownload !!\r\n", nIndex);
  m_pImageTable = pTable;
  // A handset that does not connect ends the run it began.
  const StageResult hello = RunReportedStage(nIndex, StageInfo(RunStage::Hello), [this, nIndex] {
    return PdaHandshake(nIndex) ? StageResult::Done() : StageResult::Failed(m_strConnectFailure);
  });
  if (hello.end != StageEnd::Done) {
    const RunOutcome outcome = Stopping() ? RunOutcome::Stopped : RunOutcome::Failed;
    ReportRunEnded(MakeRunEnd(nIndex, outcome, outcome == RunOutcome::Failed ? hello.reason : ""));
    return FALSE;
  }
  if (m_bFlagSet.bStartDownload) StartStageWorkerOnce(m_bPdaWorkerClaimed, &CDownLoad::PdaDownloadThread);
  return TRUE;
}

BOOL CDownLoad::ConnectPhone(PhonePort* pPort, int nIndex) {
  WaitForEndedRun();
  m_pPhonePort = pPort;
  const StageInfo opening(RunStage::PortOpening, pPort ? pPort->nPort : 0);
  const StageResult opened = RunReportedStage(nIndex, opening, [this, nIndex, &opening] {
    return OpenPhonePort(nIndex) ? StageResult::Done()
                                 : StageResult::Failed(FormatText("COM%d did not open", opening.nPort));
  });
  if (opened.end != StageEnd::Done) return FALSE;
  SetWhere(PdaLocation(), opening.nPort);
  m_nIndex = nIndex;
  if (m_bFlagSet.bStartDownload) StartStageWorkerOnce(m_bPhoneWorkerClaimed, &CDownLoad::PhoneDownloadThread);
  return TRUE;
}

void CDownLoad::BeginConnectPda(ImageTable* pTable, int nIndex) {
  StartWorker([this, pTable, nIndex] {
    const BOOL bConnected = ConnectPda(pTable, nIndex);
    const ConnectResult result = bConnected ? ConnectResult::PdaConnected : ConnectResult::PdaFailed;
    PostToOwner(WM_CONNECT_DONE, static_cast<WPARAM>(nIndex), static_cast<LPARAM>(result));
  });
}

// The port number is copied: the caller's record may change before the
// worker reads it.
void CDownLoad::BeginConnectPhone(int nPort, int nIndex) {
  StartWorker([this, nPort, nIndex] {
    WaitForEndedRun();  // an earlier phone connect may still read m_ConnectPort
    m_ConnectPort.nPort = nPort;
    const BOOL bConnected = ConnectPhone(&m_ConnectPort, nIndex);
    const ConnectResult result = bConnected ? ConnectResult::PhoneConnected : ConnectResult::PhoneFailed;
    PostToOwner(WM_CONNECT_DONE, static_cast<WPARAM>(nIndex), static_cast<LPARAM>(result));
  });
}

// ---- Entry operations (UI thread) ----

void CDownLoad::StartDownload(int nIndex) {
  Trace("StartDownload Begin = %d\r\n", nIndex);
  SetSlotFlag(Flags().m_bDownStart, nIndex, 1);
  // The request is set before the channel is looked at: a connect ending
  // meanwhile then sees it, and the claim lets only one of them start.
  m_bFlagSet.bStartDownload = 1;
  if (m_bFlagSet.bCreateUSB) {
    m_nIndex = nIndex;
    Trace("AfxBeginThread = %d\r\n", nIndex);
    StartStageWorkerOnce(m_bPdaWorkerClaimed, &CDownLoad::PdaDownloadThread);
  }
  Trace("StartDownload End !! = %d\r\n", nIndex);
}

void CDownLoad::StartPhoneDownload(int nIndex) {
  SetSlotFlag(Flags().m_bDownStart, nIndex, 1);
  if (m_bFlagSet.bOpenPhone) {
    StartStageWorkerOnce(m_bPhoneWorkerClaimed, &CDownLoad::PhoneDownloadThread);
    m_bFlagSet.bStartDownload = 0;
    m_bFlagSet.bOpenPhone = 0;
    SetPhoneStage(nIndex, 1);
    return;
  }
  SetPhoneStage(nIndex, 1);
  m_bFlagSet.bCreateUSB = 0;
  if (!WaitAfterConnectSent()) return;
  ReportStageStarted(nIndex, StageInfo(RunStage::PhoneMode));
  SendPhoneMode();
  ReportStageEnded(nIndex, StageInfo(RunStage::PhoneMode), StageOutcome(StageResult::HandedOver()));
  m_bFlagSet.bStartDownload = 1;
  BYTE answer[kPdaReplyBufferSize] = {};
  m_Usb.ReadReply(answer, kPdaReplySize);  // not examined
}

// ---- Workers ----

void CDownLoad::StartWorker(std::function<void()> proc) {
  std::lock_guard guard(m_workerLock);
  // Join the workers that have ended (their jthreads join on destruction).
  m_workers.remove_if([](const Worker& worker) { return worker.pDone->load(); });
  auto pDone = std::make_shared<std::atomic<bool>>(false);
  m_workers.push_back(Worker{pDone, std::jthread([proc = std::move(proc), pDone] {
                               proc();
                               pDone->store(true);
                             })});
}

void CDownLoad::StartStageWorkerOnce(std::atomic<bool>& claimed, void (CDownLoad::*proc)()) {
  if (claimed.exchange(true)) return;
  StartWorker([this, proc] { (this->*proc)(); });
}

// A run that has ended (its end event posted) may still be taking its last
// steps on its worker. A new connect waits for every other worker, so that
// none of them reaches the channel it opens and two threads never use it at
// once. A connect on a worker of its own does not wait for itself.
void CDownLoad::WaitForEndedRun() {
  const std::thread::id self = std::this_thread::get_id();
  for (;;) {
    std::list<Worker> others;
    {
      std::lock_guard guard(m_workerLock);
      for (auto it = m_workers.begin(); it != m_workers.end();) {
        auto next = std::next(it);
        if (it->thread.get_id() != self) others.splice(others.end(), m_workers, it);
        it = next;
      }
    }
    if (others.empty()) return;
    for (Worker& worker : others) {
      if (worker.thread.joinable()) worker.thread.join();
    }
  }
}

// Until none is left: a worker may start another one (the handshake's
// after-connect write, a connect's download) while it is joined.
void CDownLoad::JoinWorkers() {
  for (;;) {
    std::list<Worker> workers;
    {
      std::lock_guard guard(m_workerLock);
      workers.swap(m_workers);
    }
    if (workers.empty()) return;
    for (Worker& worker : workers) {
      if (worker.thread.joinable()) worker.thread.join();
    }
  }
}

// The EBOOT stage, then the OS-image stage, each after its start delay; a
// stage that did not end Done ends the run (or hands it over to the phone).
void CDownLoad::PdaDownloadThread() {
  const int nIndex = m_nIndex;
  DownloadOwnerFlags& flags = Flags();
  const BOOL bDownEboot = flags.m_bDownEboot;
  const BOOL bDownPda = flags.m_bDownPda;
  const BOOL bDownPhone = flags.m_bDownPhone;
  if (!WaitAfterConnectSent()) {
    // Stopped; the reset closes the channel, so it waits for the one write
    // still on it (bounded by the write's time-out).
    WaitAfterConnectSent(std::stop_token{});
    EndRun(nIndex, StageResult::Stopped());
    return;
  }
  SetSlotFlag(flags.m_bRundnload, nIndex, 1);
  StageResult result = StageResult::Done();
  if (bDownEboot) {
    result = Sleep(StartDelayMs(nIndex))
                 ? RunReportedStage(nIndex, StageInfo(RunStage::Eboot),
                                    [&] { return RunEbootDownload(nIndex, bDownPda); })
                 : StageResult::Stopped();
  }
  if (bDownPda && result.end == StageEnd::Done) {
    result = Sleep(StartDelayMs(nIndex))
                 ? RunReportedStage(nIndex, StageInfo(RunStage::OsImage),
                                    [&] { return RunOsImageDownload(nIndex, bDownPhone); })
                 : StageResult::Stopped();
  }
  if (result.end == StageEnd::HandedOver) return;
  EndRun(nIndex, result);
}

// Without a phone image the handed-over run has nothing left to write.
void CDownLoad::PhoneDownloadThread() {
  const int nIndex = m_nIndex;
  DownloadOwnerFlags& flags = Flags();
  if (!flags.m_bDownPhone) {
    EndRun(nIndex, StageResult::Done());
    return;
  }
  SetSlotFlag(flags.m_bRundnload, nIndex, 1);
  const StageInfo phone(RunStage::Phone, m_nPort);
  const StageResult result = Sleep(StartDelayMs(nIndex))
                                 ? RunReportedStage(nIndex, phone, [&] { return RunPhoneDownload(nIndex); })
                                 : StageResult::Stopped();
  EndRun(nIndex, result);
}

void CDownLoad::PdaCommandThread() {
  data_packet packet;
  packet.SetCommand(PDA_CMD_AFTER_CONNECT);
  SendRecord(packet);
  SetAfterConnectPending(false);
}

void CDownLoad::SetAfterConnectPending(bool bPending) {
  {
    std::lock_guard guard(m_afterConnectLock);
    m_bAfterConnectPending = bPending;
  }
  m_afterConnectSent.notify_all();
}

// The PDA worker and a phone-only Start use the channel only after
// PdaCommandThread's one write, so two writes never overlap. False when a
// stop came first: the caller then sends nothing.
bool CDownLoad::WaitAfterConnectSent() {
  return WaitAfterConnectSent(m_stop.get_token());
}

bool CDownLoad::WaitAfterConnectSent(std::stop_token stop) {
  std::unique_lock lock(m_afterConnectLock);
  return m_afterConnectSent.wait(lock, stop, [this] { return !m_bAfterConnectPending; });
}

// ---- Reporting ----

void CDownLoad::LogMessage(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const std::string line = FormatTextV(fmt, args);
  va_end(args);
  const int nSlot = m_nIndex;
  Report([&](IRunObserver& observer) { observer.OnLogLine(nSlot, line); });
  Trace("%s", line.c_str());
}

void CDownLoad::SetProgress(int nPos, const std::string& strText) {
  const int nSlot = m_nIndex;
  Report([&](IRunObserver& observer) { observer.OnProgress(nSlot, nPos, strText); });
}

void CDownLoad::BeginRun(int nIndex) {
  if (m_bRunOpen.exchange(true)) return;
  Report([nIndex](IRunObserver& observer) { observer.OnRunStarted(nIndex); });
}

// Only a run that began reports its end, once.
void CDownLoad::ReportRunEnded(const RunEnd& end) {
  if (!m_bRunOpen.exchange(false)) return;
  Report([&end](IRunObserver& observer) { observer.OnRunEnded(end); });
}

void CDownLoad::ReportStageStarted(int nIndex, const StageInfo& info) {
  Report([&](IRunObserver& observer) { observer.OnStageStarted(nIndex, info); });
}

void CDownLoad::ReportStageEnded(int nIndex, const StageInfo& info, const StageOutcome& outcome) {
  Report([&](IRunObserver& observer) { observer.OnStageEnded(nIndex, info, outcome); });
}

StageResult CDownLoad::RunReportedStage(int nIndex, const StageInfo& info,
                                        const std::function<StageResult()>& body) {
  ReportStageStarted(nIndex, info);
  m_nStageBytes = 0;
  StageResult result = body();
  if (result.end == StageEnd::Failed) result.reason = NameVanishing(info.stage, result.reason);
  if (Stopping() && result.end == StageEnd::Failed) result = StageResult::Stopped();
  ReportStageEnded(nIndex, info, StageOutcome(result, m_nStageBytes));
  return result;
}

// A failure whose device is gone (the handset was unplugged or reset) says
// so first: the stage's own reason (a missing answer) is only its symptom.
// The PDA stages use the download interface, the phone stages the COM port.
std::string CDownLoad::NameVanishing(RunStage stage, const std::string& reason) const {
  static constexpr const char* kVanished = "the device vanished";
  const bool bPhoneSide =
      stage == RunStage::PortOpening || stage == RunStage::Phone || stage == RunStage::Region;
  const bool bGone = bPhoneSide ? m_Serial.Vanished() : m_Usb.Vanished();
  if (!bGone || reason.starts_with(kVanished)) return reason;
  return std::string(kVanished) + " (" + reason + ")";
}

// A downloader that is being destroyed posts nothing more about its run.
void CDownLoad::PostToOwner(UINT nMsg, WPARAM wParam, LPARAM lParam) {
  if (m_bDestroying) return;
  Owner().PostMessage(nMsg, wParam, lParam);
}

int CDownLoad::InitDownloader(int nIndex) {
  static constexpr const char* kRule = "------------------------------------------------\r\n";
  Trace("%s", kRule);
  Trace("[zqdev Debug] InitDownloader id =  %d\r\n", nIndex);
  Trace("%s", kRule);
  m_Usb.Close();
  if (m_Serial.IsOpen()) m_Serial.Close();
  m_sinks.Reset();
  m_bFlagSet.bStartDownload = 0;
  m_bFlagSet.bCreateUSB = 0;
  m_bFlagSet.bOpenPhone = 0;
  m_bPdaWorkerClaimed = false;
  m_bPhoneWorkerClaimed = false;
  SetPhoneStage(nIndex, 0);
  SetSlotFlag(Flags().m_bRundnload, nIndex, 0);
  return nIndex;
}

void CDownLoad::SetProgressCtrl(IProgressSink* p) {
  m_sinks.SetProgressCtrl(p);
}

void CDownLoad::SetLogEdit(ILogSink* p) {
  m_sinks.SetLogEdit(p);
}

void CDownLoad::ClearProgressCtrl() {
  m_sinks.ClearProgressCtrl();
}

void CDownLoad::ClearLog() {
  m_sinks.ClearLog();
}

std::string CDownLoad::GetLogText() const {
  return m_sinks.GetLogText();
}

// ---- Helpers of the stages ----

bool CDownLoad::Sleep(std::uint32_t ms) {
  return Owner().Clock().Sleep(ms, m_stop.get_token());
}

// The end of a run: the reset (which closes both channels), then its one
// end event for this downloader's slot. A stop request turns any ending into
// a stopped run: what failed then is the stop's doing.
void CDownLoad::EndRun(int nIndex, const StageResult& result) {
  const bool bStopped = result.end == StageEnd::Stopped || Stopping();
  RunEnd end = bStopped                         ? MakeRunEnd(nIndex, RunOutcome::Stopped, "")
               : result.end == StageEnd::Failed ? MakeRunEnd(nIndex, RunOutcome::Failed, result.reason)
                                                : MakeRunEnd(nIndex, RunOutcome::Done, "");
  {
    std::lock_guard guard(m_skippedLock);
    end.skippedRegions.swap(m_skippedRegions);
  }
  InitDownloader(nIndex);
  ReportRunEnded(end);
  if (!m_bDestroying) Owner().PostRunEnd(end);
}

RunEnd CDownLoad::MakeRunEnd(int nIndex, RunOutcome outcome, std::string reason) const {
  RunEnd end;
  end.nSlot = nIndex;
  end.outcome = outcome;
  end.reason = std::move(reason);
  std::lock_guard guard(m_whereLock);
  end.location = m_strLocation;
  end.nComPort = m_nRunComPort;
  return end;
}

void CDownLoad::SetWhere(const std::string& location, int nComPort) {
  std::lock_guard guard(m_whereLock);
  m_strLocation = location;
  m_nRunComPort = nComPort;
}

void CDownLoad::PreferInterface(const std::string& path) {
  std::lock_guard guard(m_whereLock);
  m_strPreferredPath = path;
}

std::string CDownLoad::PdaLocation() const {
  std::lock_guard guard(m_whereLock);
  return m_strLocation;
}

// A stage that fails: its log line and its progress text; the worker then
// ends the run.
StageResult CDownLoad::FailStage(const std::string& logLine, const std::string& progressText,
                                 std::string reason) {
  LogMessage("%s", logLine.c_str());
  SetProgress(0, progressText);
  return StageResult::Failed(std::move(reason));
}

// The handset's answer to PDA_CMD_IMAGE_DONE when the phone follows: ready
// (0x0F) sends it into phone mode; any other answer ends the run, since the
// handset will not come back as the modem's COM port.
StageResult CDownLoad::HandOverToPhone(int nIndex, const BYTE* reply) {
  const StageInfo phoneMode(RunStage::PhoneMode);
  ReportStageStarted(nIndex, phoneMode);
  if (reply[0] != PDA_RSP_READY) {
    LogMessage("[PDA] The device did not accept the hand-over to the phone.\r\n");
    const StageResult refused = StageResult::Failed("the device did not accept the hand-over to the phone");
    ReportStageEnded(nIndex, phoneMode, StageOutcome(refused));
    return refused;
  }
  SetPhoneStage(nIndex, 1);
  SendPhoneMode();
  ReportStageEnded(nIndex, phoneMode, StageOutcome(StageResult::HandedOver()));
  return StageResult::HandedOver();
}

bool CDownLoad::SlotInRange(int nIndex) {
  return nIndex >= 0 && nIndex < 8;
}

void CDownLoad::SetSlotFlag(std::array<std::atomic<int>, 8>& flag, int nIndex, int value) {
  if (SlotInRange(nIndex)) flag[static_cast<std::size_t>(nIndex)] = value;
}

void CDownLoad::SetPhoneStage(int nIndex, int value) {
  SetSlotFlag(Flags().m_bPhoneStage, nIndex, value);
}

int CDownLoad::PhoneStage(int nIndex) const {
  return SlotInRange(nIndex) ? Flags().m_bPhoneStage[static_cast<std::size_t>(nIndex)].load() : 0;
}

void CDownLoad::SetSlotIdle(int nIndex, int value) {
  SetSlotFlag(Flags().m_bSlotIdle, nIndex, value);
}

DWORD CDownLoad::SendRecord(const data_packet& packet) {
  const auto bytes = packet.Encode();
  return m_Usb.Write(bytes.data(), static_cast<DWORD>(packet.WireSize()));
}

// The hand-over: the handset leaves USB and comes back as the modem's COM
// port. m_bRundnload is cleared first, so that the dialog takes that port.
void CDownLoad::SendPhoneMode() {
  const ImageTable* pTable = m_pImageTable;
  data_packet packet;
  packet.SetCommand(PDA_CMD_PHONE_MODE, pTable ? pTable->dwPhoneSize : 0);
  SetSlotFlag(Flags().m_bRundnload, m_nIndex, 0);
  SendRecord(packet);
}

}  // namespace tw
