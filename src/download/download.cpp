#include "download/download.h"

#include <cstdarg>

#include "download/downloadtext.h"
#include "download/inertowner.h"
#include "download/phoneparams.h"
#include "firmware/imagetable.h"
#include "pda/pdacommands.h"
#include "platform/trace.h"

namespace tw {

std::atomic<int> g_nDownLoadCount{0};
std::atomic<int> g_bConnecting{0};

CDownLoad::CDownLoad(IDownloadOwner* pOwner, int nPort)
    : m_pOwner(pOwner), m_nId(++g_nDownLoadCount), m_nPort(nPort), m_pActiveOwner(pOwner) {
  if (!m_pActiveOwner) {
    m_pInertOwner = MakeInertOwner();
    m_pActiveOwner = m_pInertOwner.get();
  }
  m_Usb.SetProvider(&Owner().Devices());
  m_Usb.SetStopToken(m_stop.get_token());
  m_Serial.SetProvider(&Owner().Devices());
  m_Serial.SetClock(Owner().Clock());
  m_Serial.SetStopToken(m_stop.get_token());
}

CDownLoad::~CDownLoad() {
  RequestStop();
  JoinWorkers();
  if (m_Serial.IsOpen()) m_Serial.Close();
}

// ---- Entry operations (UI thread) ----

BOOL CDownLoad::ConnectPda(ImageTable* pTable, int nIndex) {
  WaitForEndedRun();
  LogMessage("[StartDownload => %d] StartDownload !!\r\n", nIndex);
  m_pImageTable = pTable;
  g_bConnecting = 1;
  if (!PdaHandshake(nIndex)) {
    g_bConnecting = 0;
    return FALSE;
  }
  if (m_bFlagSet.bStartDownload) StartWorker(&CDownLoad::PdaDownloadThread);
  g_bConnecting = 0;
  return TRUE;
}

void CDownLoad::StartDownload(int nIndex) {
  Trace("StartDownload Begin = %d\r\n", nIndex);
  Flags().m_bDownStart = 1;
  if (m_bFlagSet.bCreateUSB) {
    m_nIndex = nIndex;
    Trace("AfxBeginThread = %d\r\n", nIndex);
    StartWorker(&CDownLoad::PdaDownloadThread);
  }
  m_bFlagSet.bStartDownload = 1;
  Trace("StartDownload End !! = %d\r\n", nIndex);
}

void CDownLoad::StartPhoneDownload(int nIndex) {
  Flags().m_bDownStart = 1;
  if (m_bFlagSet.bOpenPhone) {
    StartWorker(&CDownLoad::PhoneDownloadThread);
    m_bFlagSet.bStartDownload = 0;
    m_bFlagSet.bOpenPhone = 0;
    SetPhoneStage(nIndex, 1);
    return;
  }
  SetPhoneStage(nIndex, 1);
  m_bFlagSet.bCreateUSB = 0;
  if (!WaitAfterConnectSent()) return;
  SendPhoneMode();
  m_bFlagSet.bStartDownload = 1;
  BYTE answer[kPdaReplyBufferSize] = {};
  m_Usb.ReadReply(answer, kPdaReplySize);  // not examined
}

BOOL CDownLoad::ConnectPhone(PhonePort* pPort, int nIndex) {
  WaitForEndedRun();
  m_pPhonePort = pPort;
  if (!OpenPhonePort(nIndex)) return FALSE;
  m_nIndex = nIndex;
  if (m_bFlagSet.bStartDownload) StartWorker(&CDownLoad::PhoneDownloadThread);
  return TRUE;
}

void CDownLoad::PumpMessages() {
  Owner().PumpMessages();
}

// ---- Workers ----

void CDownLoad::StartWorker(void (CDownLoad::*proc)()) {
  std::lock_guard guard(m_workerLock);
  // Join the workers that have ended (their jthreads join on destruction).
  m_workers.remove_if([](const Worker& worker) { return worker.pDone->load(); });
  auto pDone = std::make_shared<std::atomic<bool>>(false);
  m_workers.push_back(Worker{pDone, std::jthread([this, proc, pDone] {
                               (this->*proc)();
                               pDone->store(true);
                             })});
}

// A run that ended early (reset, WM_DOWNLOAD_DONE) may still be taking its
// last steps on its worker: the next stage after its start delay, or the
// closing steps after a failed last region. They fail at once on the closed
// channel. A new connect waits for them, so that they never reach the
// channel it opens and two threads never use it at once.
void CDownLoad::WaitForEndedRun() {
  JoinWorkers();
}

void CDownLoad::JoinWorkers() {
  std::list<Worker> workers;
  {
    std::lock_guard guard(m_workerLock);
    workers.swap(m_workers);
  }
  for (Worker& worker : workers) {
    if (worker.thread.joinable()) worker.thread.join();
  }
}

void CDownLoad::PdaDownloadThread() {
  const int nIndex = m_nIndex;
  DownloadOwnerFlags& flags = Flags();
  const BOOL bDownEboot = flags.m_bDownEboot;
  const BOOL bDownPda = flags.m_bDownPda;
  const BOOL bDownPhone = flags.m_bDownPhone;
  if (!WaitAfterConnectSent()) return;
  flags.m_bRundnload = 1;
  if (bDownEboot && Sleep(StartDelayMs(nIndex))) RunEbootDownload(nIndex, bDownPda);
  if (bDownPda && Sleep(StartDelayMs(nIndex))) RunOsImageDownload(nIndex, bDownPhone);
  // A run that handed over cleared the flag before PDA_CMD_PHONE_MODE; one that
  // ended any other way is no longer writing either.
  if (!PhoneStage(nIndex)) flags.m_bRundnload = 0;
}

void CDownLoad::PhoneDownloadThread() {
  const int nIndex = m_nIndex;
  DownloadOwnerFlags& flags = Flags();
  if (!flags.m_bDownPhone) return;
  flags.m_bRundnload = 1;
  if (Sleep(StartDelayMs(nIndex))) RunPhoneDownload(nIndex);
  flags.m_bRundnload = 0;
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
  std::unique_lock lock(m_afterConnectLock);
  return m_afterConnectSent.wait(lock, m_stop.get_token(), [this] { return !m_bAfterConnectPending; });
}

// ---- Reporting ----

void CDownLoad::LogMessage(const char* fmt, ...) {
  std::lock_guard guard(m_sinkLock);
  if (!m_pLogEdit) return;
  va_list args;
  va_start(args, fmt);
  const std::string line = FormatTextV(fmt, args);
  va_end(args);
  m_strLog += line;
  m_pLogEdit->SetLogText(m_strLog);
  Trace("%s", line.c_str());
}

void CDownLoad::SetProgress(int nPos, const std::string& strText) {
  std::lock_guard guard(m_sinkLock);
  if (!m_pProgressCtrl) return;
  m_pProgressCtrl->SetText(strText);
  m_pProgressCtrl->SetPos(nPos);
}

// A downloader that is being destroyed posts nothing more about its run.
void CDownLoad::PostToOwner(UINT nMsg, WPARAM wParam, LPARAM lParam) {
  if (Stopping()) return;
  Owner().PostMessage(nMsg, wParam, lParam);
}

int CDownLoad::InitDownloader(int nIndex) {
  static constexpr const char* kRule = "------------------------------------------------\r\n";
  Trace("%s", kRule);
  Trace("[zqdev Debug] InitDownloader id =  %d\r\n", nIndex);
  Trace("%s", kRule);
  m_Usb.Close();
  if (m_Serial.IsOpen()) m_Serial.Close();
  {
    std::lock_guard guard(m_sinkLock);
    m_strLog.clear();
    m_pProgressCtrl = nullptr;
    m_pLogEdit = nullptr;
  }
  g_nDownLoadCount = 0;
  m_bFlagSet.bStartDownload = 0;
  m_bFlagSet.bCreateUSB = 0;
  m_bFlagSet.bOpenPhone = 0;
  SetPhoneStage(nIndex, 0);
  Flags().m_bRundnload = 0;
  return nIndex;
}

void CDownLoad::SetProgressCtrl(IProgressSink* p) {
  std::lock_guard guard(m_sinkLock);
  m_pProgressCtrl = p;
}

void CDownLoad::SetLogEdit(ILogSink* p) {
  std::lock_guard guard(m_sinkLock);
  m_pLogEdit = p;
}

void CDownLoad::ClearProgressCtrl() {
  std::lock_guard guard(m_sinkLock);
  m_pProgressCtrl = nullptr;
}

void CDownLoad::ClearLog() {
  std::lock_guard guard(m_sinkLock);
  m_pLogEdit = nullptr;
  m_strLog.clear();
}

std::string CDownLoad::GetLogText() const {
  std::lock_guard guard(m_sinkLock);
  return m_strLog;
}

// ---- Helpers of the stages ----

bool CDownLoad::Sleep(std::uint32_t ms) {
  return Owner().Clock().Sleep(ms, m_stop.get_token());
}

void CDownLoad::EndRun(int nIndex) {
  InitDownloader(nIndex);
  PostToOwner(WM_DOWNLOAD_DONE, static_cast<WPARAM>(m_nId - 1), 0);
}

// A stage that fails ends the run: its log line, its progress text, the
// reset and WM_DOWNLOAD_DONE.
void CDownLoad::FailRun(int nIndex, const std::string& logLine, const std::string& progressText) {
  LogMessage("%s", logLine.c_str());
  SetProgress(0, progressText);
  EndRun(nIndex);
}

bool CDownLoad::SlotInRange(int nIndex) {
  return nIndex >= 0 && nIndex < 8;
}

void CDownLoad::SetPhoneStage(int nIndex, int value) {
  if (SlotInRange(nIndex)) Flags().m_bPhoneStage[static_cast<std::size_t>(nIndex)] = value;
}

int CDownLoad::PhoneStage(int nIndex) const {
  return SlotInRange(nIndex) ? Flags().m_bPhoneStage[static_cast<std::size_t>(nIndex)].load() : 0;
}

void CDownLoad::SetSlotIdle(int nIndex, int value) {
  if (SlotInRange(nIndex)) Flags().m_bSlotIdle[static_cast<std::size_t>(nIndex)] = value;
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
  Flags().m_bRundnload = 0;
  SendRecord(packet);
}

}  // namespace tw
