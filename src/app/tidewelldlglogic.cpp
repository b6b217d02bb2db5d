#include "app/tidewelldlglogic.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "app/devicechange.h"
#include "platform/trace.h"
#include "platform/tunables.h"

namespace tw {

namespace {

constexpr UINT WM_CLOSE = 0x0010;

// A device event as the run observer hears it.
DeviceReport ReportOfDevice(const DeviceEvent& record) {
  DeviceReport report;
  report.bArrival = record.action == DeviceEvent::Action::Arrival;
  report.kind = record.kind == DeviceEvent::Kind::Port ? "port" : "pda";
  report.name = record.name;
  report.location = record.location;
  return report;
}

}  // namespace

CTidewellDlgLogic::CTidewellDlgLogic(Services services)
    : m_pView(services.pView),
      m_pQueue(services.pQueue),
      m_pClock(services.pClock),
      m_pDevices(services.pDevices),
      m_pEvents(services.pEvents),
      m_makeDownloader(std::move(services.makeDownloader)),
      m_strPackagePath(std::move(services.strPackagePath)),
      m_Pacing(services.pacing),
      m_pObserver(services.pObserver),
      m_nSlots(std::clamp(services.nSlots, 1, kSlotCount)),
      m_bAutoStart(services.bAutoStart) {
  if (!m_makeDownloader) {
    m_makeDownloader = RealDownloaderFactory();
  }
  // The NAND option value and the three download flags start clear.
  m_dwNandMask = 0;
  m_bDownEboot = 0;
  m_bDownPda = 0;
  m_bDownPhone = 0;
}

CTidewellDlgLogic::~CTidewellDlgLogic() {
  // The event source first, so no event is posted for a dying dialog; then
  // every downloader, whose destructor stops and joins its workers while
  // the flags and images they read still exist.
  UnregisterDeviceNotification();
  for (int i = 0; i < kSlotCount; ++i) {
    DeleteDownloader(i);
  }
}

BOOL CTidewellDlgLogic::OnInitDialog() {
  m_bNandSelect = 0;
  m_nMaxOpenDevice = 0;
  m_nOpenDevice = 0;
  m_pView->EnableStart(FALSE);
  InitSlots();
  m_Images.ZeroImageTable();
  RegisterDeviceInterface();

  m_pProgress.fill(nullptr);
  for (int i = 0; i < m_nSlots; ++i) {
    m_pProgress[i] = m_pView->SlotProgress(i);
  }
  if (m_pProgress[0] != nullptr) {
    m_pProgress[0]->SetText("");
  }
  m_pView->PrepareProgressBar();
  if (m_pProgress[0] != nullptr) {
    m_pProgress[0]->SetPos(0);
  }

  // The developer tools' INI readers, in their order.
  ReadMergeIni();
  ReadMsMergeIni();
  ReadOneImageIni();

  m_pView->UpdateData();
  LoadAttachedImages();
  return TRUE;
}

void CTidewellDlgLogic::InitSlots() {
  for (int i = 0; i < kSlotCount; ++i) {
    m_pDownLoad[i].reset();
    m_bRundnload[i] = 0;
    m_bDownStart[i] = 0;
    m_bPhoneStage[i] = 0;
    // The armed slots (slot 0 alone unless --slots says more) are idle; the
    // others are never idle and hold a port number no device event yields.
    const bool bArmed = i < m_nSlots;
    m_bSlotIdle[i] = bArmed ? 1 : 0;
    m_nComPort[i] = bArmed ? 0 : -1;
  }
}

// The developer tools' INI readers: the two merge INI files into sets 1
// and 2, then the one-file image INI file into set 3.
void CTidewellDlgLogic::ReadMergeIni() {
  m_DevTools.LoadMergeIni(kMergeIniName, m_DevTools.m_MergeSets[0]);
}
void CTidewellDlgLogic::ReadMsMergeIni() {
  m_DevTools.LoadMergeIni(kMsMergeIniName, m_DevTools.m_MergeSets[1]);
}
void CTidewellDlgLogic::ReadOneImageIni() {
  m_DevTools.LoadOneFileIni();
}

BOOL CTidewellDlgLogic::LoadAttachedImages() {
  BOOL bLoaded = m_Images.LoadAttachedImages(m_strPackagePath);
  CopyImageFlags();
  if (bLoaded) {
    ClearDownloadRunning();
  }
  return bLoaded;
}

// The download stages read the flags through the owner; the image set
// keeps its own copy, written by the loader.
void CTidewellDlgLogic::CopyImageFlags() {
  m_bDownEboot = m_Images.m_bDownEboot.load();
  m_bDownPda = m_Images.m_bDownPda.load();
  m_bDownPhone = m_Images.m_bDownPhone.load();
  m_bPhoneFullSet = m_Images.m_bPhoneFullSet.load();
  m_bPhoneExtraCmd = m_Images.m_bPhoneExtraCmd.load();
}

BOOL CTidewellDlgLogic::RegisterDeviceInterface() {
  errno = 0;
  if (m_pEvents != nullptr &&
      m_pEvents->Start([this](const DeviceEvent& event) { PostDeviceChange(event); })) {
    m_hDevNotify = true;
    return TRUE;
  }
  int error = m_pEvents == nullptr || errno == 0 ? ENODEV : errno;
  char text[80];
  std::snprintf(text, sizeof text, "HUB RegisterDeviceNotification failed: %d\n", error);
  m_pView->MessageBox(text, "RegisterDeviceNotification", MessageIcon::None);
  return FALSE;
}

void CTidewellDlgLogic::UnregisterDeviceNotification() {
  // A second release changes nothing.
  if (m_hDevNotify) {
    m_hDevNotify = false;
    m_pEvents->Stop();
  }
}

void CTidewellDlgLogic::WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam) {
  switch (nMsg) {
    case WM_DEVICE_PDA:
      OnDevicePda(wParam, lParam);
      break;
    case WM_DEVICE_PHONE:
      OnDevicePhone(wParam, lParam);
      break;
    case WM_CONNECT_DONE:
      OnConnectDone(wParam, lParam);
      break;
    case WM_DOWNLOAD_DONE:
      OnDownloadDone(wParam, lParam);
      break;
    case WM_COMMAND:
      if (wParam == IDC_START) {
        OnStart();
      } else if (wParam == IDC_START_DOWNLOAD) {
        OnStartDownload();
      }
      break;
    case WM_CLOSE:
      OnClose();
      break;
    default:
      break;
  }
}

void CTidewellDlgLogic::PostMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
  m_pQueue->Post([this, nMsg, wParam, lParam] { WindowProc(nMsg, wParam, lParam); });
}

void CTidewellDlgLogic::PostRunEnd(const RunEnd& end) {
  m_pQueue->Post([this, end] { OnRunEnd(end); });
}

void CTidewellDlgLogic::PostDeviceChange(const DeviceEvent& record) {
  m_pQueue->Post([this, record] { OnDeviceChange(DeviceEventType(record), record); });
}

BOOL CTidewellDlgLogic::OnDeviceChange(UINT nEventType, const DeviceEvent& record) {
  Trace("******** Device Change, nEventType = %d\r\n", static_cast<int>(nEventType));
  if (m_pObserver) m_pObserver->OnDevice(ReportOfDevice(record));
  if (nEventType == DBT_DEVICEARRIVAL) {
    OnArrival(record);
  } else if (nEventType == DBT_DEVICEREMOVECOMPLETE) {
    if (m_nSlots == 1) {
      RemovalOfPort(record);
    } else {
      RemovalOfLocatedDevice(record);
    }
  }
  return TRUE;
}

// A slot whose download runs passes every arrival by; with one slot armed
// that drops the arrival, as does a COM port that no slot waits for.
void CTidewellDlgLogic::OnArrival(const DeviceEvent& record) {
  // The phone's COM port, for the slot in the phone stage it belongs to.
  if (record.kind == DeviceEvent::Kind::Port) {
    const int i = SlotForPort(record);
    if (i >= 0 && ArrivalForPhoneStage(i, record)) {
      return;
    }
  }
  // The device's first appearance. With one slot it may be of any kind;
  // with more, only a download interface arms a slot, so that one
  // handset's COM port never starts another slot's connect.
  if (m_nSlots > 1 && record.kind != DeviceEvent::Kind::Other) {
    return;
  }
  if (const int i = FreeSlot(); i >= 0) {
    ArrivalForIdleSlot(i, record);
    return;
  }
  if (m_bAutoStart && record.kind == DeviceEvent::Kind::Other) {
    m_waiting.push_back(record);
    Note(record.location.empty() ? "A handset waits for a free slot."
                                 : "The handset at " + record.location + " waits for a free slot.");
    return;
  }
  Trace("Device Change, no free slot: arrival dropped\r\n");
}

// The first armed slot free to take a new handset: idle, not in the phone
// stage, no download started or running.
int CTidewellDlgLogic::FreeSlot() const {
  for (int i = 0; i < m_nSlots; ++i) {
    if (m_bSlotIdle[i] == 1 && m_bPhoneStage[i] == 0 && m_bDownStart[i] == 0 && m_bRundnload[i] == 0) {
      return i;
    }
  }
  return -1;
}

// The slot a COM port belongs to: among the slots in the phone stage, the
// one whose handset has the port's location. Without a location that
// decides, only a single waiting slot takes it; several take none, since a
// wrong pairing would write one handset's modem through another's run.
int CTidewellDlgLogic::SlotForPort(const DeviceEvent& record) {
  std::vector<int> waiting;
  for (int i = 0; i < m_nSlots; ++i) {
    if (m_bPhoneStage[i] == 1 && m_bRundnload[i] == 0) {
      waiting.push_back(i);
    }
  }
  if (waiting.empty()) {
    return -1;
  }
  for (int i : waiting) {
    if (!record.location.empty() && m_strLocation[i] == record.location) {
      return i;
    }
  }
  const int only = waiting.size() == 1 ? waiting[0] : -1;
  if (only >= 0 && (record.location.empty() || m_strLocation[only].empty())) {
    return only;
  }
  const std::string where = record.location.empty() ? "" : " at " + record.location;
  if (only >= 0) {
    Note(record.name + where + " is not taken: the handset in the phone stage is at " + m_strLocation[only] +
         ".");
  } else {
    Note(record.name + where + " is not taken: " + std::to_string(waiting.size()) +
         " handsets wait for their COM port and its location does not tell whose.");
  }
  return -1;
}

void CTidewellDlgLogic::ArrivalForIdleSlot(int i, const DeviceEvent& record) {
  m_bSlotIdle[i] = 0;
  // With several slots the connect opens this arrival's interface first, so
  // that the handset served is the one that arrived (and waited) first.
  m_strArrivalPath[i] = m_nSlots > 1 && record.kind == DeviceEvent::Kind::Other ? record.name : "";
  Trace("DBT_DEVICEARRIVAL == %d[%u]\r\n", i, m_pClock->GetTickCount());
  // With one slot this is port 0, which a removal of a device without a COM
  // port frees; several slots tell their handsets apart by location.
  m_nComPort[i] = m_nSlots == 1 ? i : 0;
  m_strLocation[i].clear();
  PostMessage(WM_DEVICE_PDA, 0, i);
}

bool CTidewellDlgLogic::ArrivalForPhoneStage(int i, const DeviceEvent& record) {
  Trace(">>>>>Current Dectect pdbp->dbcp_name  = %s\r\n", record.name.c_str());
  int nPort = 0;
  if (!PortNumberFromName(record.name, &nPort)) {
    return false;
  }
  m_nComPort[i] = nPort;
  if (m_pDownLoad[i] && m_pDownLoad[i]->PhonePortOpen()) {
    Trace("RS232 is opend");
    return false;
  }
  Trace("Current Dectect Port num(%d) Port ID = %d, m_nOpenDevice = %d\r\n", nPort, i, m_nOpenDevice);
  Trace("Current Dectect Port num(%d) Port ID = %d\r\n", nPort, i);
  PostMessage(WM_DEVICE_PHONE, static_cast<WPARAM>(nPort), i);
  return true;
}

void CTidewellDlgLogic::RemovalOfPort(const DeviceEvent& record) {
  // Any removal that is not a COM port counts as port 0: the USB device
  // frees slot 0 while no COM port is recorded for it.
  int nPort = 0;
  if (!PortNumberFromName(record.name, &nPort)) {
    nPort = 0;
  }
  for (int i = 0; i < kSlotCount; ++i) {
    if (m_nComPort[i] == nPort) {
      m_bSlotIdle[i] = 1;
      m_nComPort[i] = 0;
    }
  }
}

// With several slots a removal frees only the slot of that handset: the
// one with its COM port, or with its location; a waiting handset that is
// unplugged waits no more.
void CTidewellDlgLogic::RemovalOfLocatedDevice(const DeviceEvent& record) {
  std::erase_if(m_waiting, [&record](const DeviceEvent& waiting) { return waiting.name == record.name; });
  int nPort = 0;
  const bool bPort = PortNumberFromName(record.name, &nPort) && nPort != 0;
  for (int i = 0; i < m_nSlots; ++i) {
    const bool bHis =
        bPort ? m_nComPort[i] == nPort : !record.location.empty() && m_strLocation[i] == record.location;
    if (bHis) {
      m_bSlotIdle[i] = 1;
      m_nComPort[i] = 0;
    }
  }
  ServeWaiting();
}

// Waiting handsets take the slots that are free, oldest first.
void CTidewellDlgLogic::ServeWaiting() {
  for (int i = FreeSlot(); i >= 0 && !m_waiting.empty(); i = FreeSlot()) {
    const DeviceEvent next = m_waiting.front();
    m_waiting.pop_front();
    Note("Slot " + std::to_string(i) + " takes the waiting handset" +
         (next.location.empty() ? "" : " at " + next.location) + ".");
    ArrivalForIdleSlot(i, next);
  }
}

void CTidewellDlgLogic::Note(const std::string& line) {
  Trace("%s\n", line.c_str());
  m_pView->StationNote(line);
}

long CTidewellDlgLogic::OnDevicePda(WPARAM /*wParam*/, LPARAM lParam) {
  if (lParam < 0 || lParam >= kSlotCount) {
    return 0;
  }
  const int i = static_cast<int>(lParam);
  ISlotDownloader& downloader = AttachDownloader(i, 0);
  ++m_nConnecting[i];
  downloader.PreferInterface(m_strArrivalPath[i]);
  downloader.ConnectPda(&m_Images.m_ImageTable, i);
  return 0;
}

long CTidewellDlgLogic::OnDevicePhone(WPARAM wParam, LPARAM lParam) {
  if (lParam < 0 || lParam >= kSlotCount) {
    return 0;
  }
  const int i = static_cast<int>(lParam);
  const int nPort = static_cast<int>(wParam);
  Trace("new CDownLoad---->port(%d)\r\n", nPort);
  ISlotDownloader& downloader = AttachDownloader(i, nPort);
  m_PhonePort.nPort = nPort;
  ++m_nConnecting[i];
  downloader.ConnectPhone(nPort, i);
  return 0;
}

long CTidewellDlgLogic::OnConnectDone(WPARAM wParam, LPARAM lParam) {
  if (wParam >= static_cast<WPARAM>(kSlotCount) || m_nConnecting[wParam] == 0) {
    return 0;
  }
  const int i = static_cast<int>(wParam);
  const auto result = static_cast<ConnectResult>(lParam);
  const bool bConnected = result == ConnectResult::PdaConnected || result == ConnectResult::PhoneConnected;
  // A later connect of the same slot is still to run: it decides.
  if (--m_nConnecting[i] > 0 && !bConnected) {
    return 0;
  }
  const bool bPdaReady =
      result == ConnectResult::PdaConnected && m_pDownLoad[i] && m_pDownLoad[i]->CreateUsb();
  if (bPdaReady) {
    m_strLocation[i] = m_pDownLoad[i]->PdaLocation();
  }
  if (bPdaReady && !m_bAutoStart) {
    Trace("[zqdev_Debug]m_bFlagSet.bCreateUSB __1 %d\r\n", i);
    m_pView->EnableStart(TRUE);
    Trace("[zqdev_Debug]m_bFlagSet.bCreateUSB __2 %d\r\n", i);
  }
  ConnectEnded(i, bConnected ? TRUE : FALSE);
  if (bPdaReady && m_bAutoStart) {
    StartSlot(i);
  }
  if (!bConnected) {
    ServeWaiting();
  }
  return 0;
}

// A connected slot is counted and keeps its device; a failed one is idle
// again, so the next arrival tries again (in the phone stage: the next COM
// port).
void CTidewellDlgLogic::ConnectEnded(int i, BOOL bConnected) {
  if (bConnected) {
    CountOpenDevice(i);
    m_bSlotIdle[i] = 0;
    m_pView->UpdateData();
  } else {
    m_bSlotIdle[i] = 1;
  }
}

// Makes the slot's downloader on its first device event, gives it the port
// and attaches the progress bar, and for slot 0 the log box.
ISlotDownloader& CTidewellDlgLogic::AttachDownloader(int i, int nPort) {
  if (!m_pDownLoad[i]) {
    m_pDownLoad[i] = m_makeDownloader(this, nPort);
  }
  ISlotDownloader& downloader = *m_pDownLoad[i];
  if (nPort != 0) {
    downloader.SetPort(nPort);
  }
  downloader.SetProgressCtrl(m_pProgress[i]);
  if (ILogSink* pLog = m_pView->SlotLog(i)) {
    downloader.SetLogEdit(pLog);
  }
  return downloader;
}

void CTidewellDlgLogic::CountOpenDevice(int i) {
  if (i == m_nOpenDevice) {
    ++m_nOpenDevice;
  }
  if (m_nMaxOpenDevice < m_nOpenDevice) {
    m_nMaxOpenDevice = m_nOpenDevice;
  }
}

long CTidewellDlgLogic::OnDownloadDone(WPARAM wParam, LPARAM lParam) {
  if (wParam >= static_cast<WPARAM>(kSlotCount)) {
    return 0;
  }
  RunEnd end;
  end.nSlot = static_cast<int>(wParam);
  end.outcome = static_cast<RunOutcome>(lParam);
  OnRunEnd(end);
  return 0;
}

void CTidewellDlgLogic::OnRunEnd(const RunEnd& end) {
  if (end.nSlot < 0 || end.nSlot >= kSlotCount) {
    return;
  }
  m_bSlotIdle[end.nSlot] = 1;
  m_bRundnload[end.nSlot] = 0;
  m_bDownStart[end.nSlot] = 0;
  m_pView->DownloadDone(end);
  ServeWaiting();
}

// A connected slot's download, as Start begins it; false (with the message
// box) when there is nothing it can download.
bool CTidewellDlgLogic::StartSlot(int i) {
  if (!m_Images.m_bImageLoaded) {
    m_pView->MessageBox("Not Open File", kAppName, MessageIcon::None);
    return false;
  }
  if (m_bDownPhone && !m_bDownEboot && !m_bDownPda) {
    m_pDownLoad[i]->StartPhoneDownload(i);
  } else if (m_bDownEboot || m_bDownPda) {
    m_pDownLoad[i]->StartDownload(i);
  } else {
    m_pView->MessageBox("Select an image to download", kAppName, MessageIcon::Exclamation);
    return false;
  }
  return true;
}

bool CTidewellDlgLogic::AnyDownloadStarted() const {
  return std::any_of(m_bDownStart.begin(), m_bDownStart.end(), [](const auto& flag) { return flag != 0; });
}

void CTidewellDlgLogic::ClearDownloadRunning() {
  for (auto& flag : m_bRundnload) {
    flag = 0;
  }
}

void CTidewellDlgLogic::OnStart() {
  if (m_nComPort[0] == 0) {
    PostMessage(WM_COMMAND, IDC_START_DOWNLOAD, 0);
    Trace("(m_nComPort[--0]\r\n");
  }
  m_pView->EnableStart(FALSE);
}

void CTidewellDlgLogic::OnStartDownload() {
  // With several slots Start starts every connected slot not yet started.
  if (m_nSlots > 1) {
    for (int i = 0; i < m_nSlots; ++i) {
      if (m_pDownLoad[i] && m_pDownLoad[i]->CreateUsb() && m_bDownStart[i] == 0 && !StartSlot(i)) {
        m_pView->EnableStart(TRUE);
        break;
      }
    }
    return;
  }
  if (m_bDownPhone && !m_bDownEboot && !m_bDownPda) {
    StartPhoneStage(1);
  } else if (m_bDownEboot || m_bDownPda) {
    StartPdaStage(1);
  } else {
    m_pView->MessageBox("Select an image to download", kAppName, MessageIcon::Exclamation);
    m_pView->EnableStart(TRUE);
  }
}

void CTidewellDlgLogic::StartPdaStage(int n) {
  if (ISlotDownloader* pDownLoad = StageDownloader(n)) {
    pDownLoad->StartDownload(n - 1);
  }
}

void CTidewellDlgLogic::StartPhoneStage(int n) {
  if (ISlotDownloader* pDownLoad = StageDownloader(n)) {
    pDownLoad->StartPhoneDownload(n - 1);
  }
}

// The downloader of device n (1-based) when a stage may start on it: the
// device has connected and a complete image set is loaded ("Not Open File"
// otherwise).
ISlotDownloader* CTidewellDlgLogic::StageDownloader(int n) {
  if (m_nOpenDevice < n || n < 1 || n > kSlotCount || !m_pDownLoad[n - 1]) {
    return nullptr;
  }
  if (!m_Images.m_bImageLoaded) {
    m_pView->MessageBox("Not Open File", kAppName, MessageIcon::None);
    return nullptr;
  }
  return m_pDownLoad[n - 1].get();
}

BOOL CTidewellDlgLogic::OnClose() {
  UnregisterDeviceNotification();
  m_Images.m_bImageLoaded = 0;
  // The devices counted open; with several slots, whose connects end in any
  // order and so are not all counted, every armed slot: each run still in
  // progress ends (stopped) here, before the close is reported.
  const int nClosing = m_nSlots > 1 ? std::max(m_nSlots, m_nMaxOpenDevice) : m_nMaxOpenDevice;
  for (int i = 0; i < nClosing && i < kSlotCount; ++i) {
    DeleteDownloader(i);
  }
  m_pView->EndDialog(IDCANCEL);
  return TRUE;
}

void CTidewellDlgLogic::DestroyWindow() {
  // Every slot that still has a downloader, also one whose connect never
  // succeeded (and so was never counted in m_nOpenDevice).
  for (auto& pDownLoad : m_pDownLoad) {
    if (pDownLoad) {
      pDownLoad->ClearLog();
      pDownLoad->ClearProgressCtrl();
    }
  }
  m_pClock->Sleep(static_cast<std::uint32_t>(GetTunables().closeGraceMs));
  for (int i = 0; i < kSlotCount; ++i) {
    DeleteDownloader(i);
  }
}

void CTidewellDlgLogic::OnDestroy() {
  m_pProgress.fill(nullptr);
  UnregisterDeviceNotification();
}

// Deleting stops and joins the downloader's workers first.
void CTidewellDlgLogic::DeleteDownloader(int i) {
  m_pDownLoad[i].reset();
}

}  // namespace tw
