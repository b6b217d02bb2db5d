// The main dialog's logic, free of any UI toolkit: the firmware set, the
// device slot table, device detection and downloader dispatch, the Start
// button's handlers and the shutdown. The Qt dialog and the headless front
// end own one and forward their events to it; it reaches them through
// ITidewellView and posts its private messages through IMessageQueue.
//
// Every handler runs on the UI thread. Downloaders reach the logic through
// IDownloadOwner from their workers (flags, PostMessage, PostRunEnd); their
// connects run on their own workers and end with WM_CONNECT_DONE, so no
// handler ever blocks on a handset.
//
// m_bRundnload (download running): while it is 1 every device arrival is
// dropped at once. The downloader sets it while a worker writes to the
// handset and clears it before PDA_CMD_PHONE_MODE goes out, so that the COM
// port of the hand-over is taken, and at the end of every run; the logic
// clears it at initialisation, after a successful image load and on
// WM_DOWNLOAD_DONE.
#pragma once
#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/slotdownloader.h"
#include "app/tidewellview.h"
#include "download/downloadowner.h"
#include "firmware/imageset.h"
#include "platform/clock.h"
#include "platform/deviceevents.h"
#include "platform/deviceprovider.h"
#include "platform/messagequeue.h"
#include "platform/wintypes.h"
#include "tools/devtools.h"

namespace tw {

inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr int IDC_START = 1068;           // the visible Start button
inline constexpr int IDC_START_DOWNLOAD = 1015;  // the hidden button whose command starts the download
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int kSlotCount = 8;

// The application's name: the caption of its message boxes.
inline constexpr const char* kAppName = "Tidewell";

class CTidewellDlgLogic : public DownloadOwnerFlags, public IDownloadOwner {
 public:
  // What the logic works with. The view, queue, clock and devices must
  // outlive the logic. pEvents may be null: registering then fails.
  struct Services {
    ITidewellView* pView = nullptr;
    IMessageQueue* pQueue = nullptr;
    IClock* pClock = nullptr;
    IDeviceProvider* pDevices = nullptr;
    IDeviceEventSource* pEvents = nullptr;
    SlotDownloaderFactory makeDownloader;     // empty: real downloaders
    std::string strPackagePath;               // empty: the running executable
    PhonePacing pacing = PhonePacing::Fixed;  // the phone exchange's pacing (--pacing)
    IRunObserver* pObserver = nullptr;        // hears every run and device event; may be null
    int nSlots = 1;                           // slots armed, 1 to 8 (--slots)
    // A slot's download starts as soon as its handset has connected, and a
    // handset that finds no free slot waits for one (--auto-start).
    bool bAutoStart = false;
  };

  explicit CTidewellDlgLogic(Services services);
  ~CTidewellDlgLogic() override;
  CTidewellDlgLogic(const CTidewellDlgLogic&) = delete;
  CTidewellDlgLogic& operator=(const CTidewellDlgLogic&) = delete;

  // Dialog initialisation after the window's own set-up: slot table,
  // device registration, progress bar, INI readers, firmware set. TRUE.
  BOOL OnInitDialog();
  // Loads the firmware set from the package path; see CImageSet.
  BOOL LoadAttachedImages();
  // Starts the device events; a failure shows its message box.
  BOOL RegisterDeviceInterface();

  // The private messages and WM_COMMAND, as the event loop delivers them.
  void WindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam);

  // WM_DEVICECHANGE: arrivals and removals. Returns TRUE.
  BOOL OnDeviceChange(UINT nEventType, const DeviceEvent& record);
  // Posts a device event from any thread (the event source's sink).
  void PostDeviceChange(const DeviceEvent& record);

  long OnDevicePda(WPARAM wParam, LPARAM lParam);
  long OnDevicePhone(WPARAM wParam, LPARAM lParam);
  // WM_CONNECT_DONE: wParam the slot, lParam a ConnectResult.
  long OnConnectDone(WPARAM wParam, LPARAM lParam);
  // WM_DOWNLOAD_DONE: wParam the slot, lParam a RunOutcome.
  long OnDownloadDone(WPARAM wParam, LPARAM lParam);
  // A run's end event: frees its slot (slots outside the table are ignored).
  void OnRunEnd(const RunEnd& end);
  void OnStart();
  void OnStartDownload();
  void StartPdaStage(int n);
  void StartPhoneStage(int n);

  // WM_CLOSE: stops the device events, deletes the downloaders (stopping
  // their connects and runs) and ends the dialog. Returns TRUE.
  BOOL OnClose();
  // The window's destruction: detaches and deletes every remaining
  // downloader, after the grace period. Never call it inside a handler.
  void DestroyWindow();
  // WM_DESTROY.
  void OnDestroy();

  // IDownloadOwner.
  DownloadOwnerFlags& OwnerFlags() override { return *this; }
  const CDloadFile& PhoneFile() override { return m_Images.m_PhoneFile; }
  void PostMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) override;
  void PostRunEnd(const RunEnd& end) override;
  IClock& Clock() override { return *m_pClock; }
  IDeviceProvider& Devices() override { return *m_pDevices; }
  PhonePacing Pacing() override { return m_Pacing; }
  IRunObserver* RunObserver() override { return m_pObserver; }
  int ArmedSlots() override { return m_nSlots; }

  // The firmware set: buffers, phone image, image table, download flags
  // and the images-loaded flag.
  CImageSet m_Images;
  // The developer tools: the tool INI sets read at initialisation, image
  // selection, the one-file image and the merge. Their message boxes and
  // file-open dialog are the front end's (SetCallbacks). They replace no
  // image once a download has started; an image they take clears the
  // download-running flag, so that the next arrival is served.
  CDevTools m_DevTools{m_Images, DevToolsOwner{[this] { return AnyDownloadStarted(); },
                                               [this](ImageChoice) { ClearDownloadRunning(); }}};

  // The slot table.
  std::array<std::unique_ptr<ISlotDownloader>, kSlotCount> m_pDownLoad;
  std::array<IProgressSink*, kSlotCount> m_pProgress{};
  std::array<int, kSlotCount> m_nComPort{};
  int m_nOpenDevice = 0;
  int m_nMaxOpenDevice = 0;
  PhonePort m_PhonePort;
  // Per slot: where its handset is plugged in, learnt at its connect, and
  // the path of the download interface whose arrival it took.
  std::array<std::string, kSlotCount> m_strLocation;
  std::array<std::string, kSlotCount> m_strArrivalPath;
  // Handsets that arrived while no slot was free, in their order (--auto-start).
  std::deque<DeviceEvent> m_waiting;

 private:
  void InitSlots();
  void ReadMergeIni();
  void ReadMsMergeIni();
  void ReadOneImageIni();
  void CopyImageFlags();
  void OnArrival(const DeviceEvent& record);
  int FreeSlot() const;
  int SlotForPort(const DeviceEvent& record);
  void ArrivalForIdleSlot(int i, const DeviceEvent& record);
  bool ArrivalForPhoneStage(int i, const DeviceEvent& record);
  void RemovalOfPort(const DeviceEvent& record);
  void RemovalOfLocatedDevice(const DeviceEvent& record);
  void ServeWaiting();
  bool StartSlot(int i);
  bool AnyDownloadStarted() const;
  void ClearDownloadRunning();
  void Note(const std::string& line);
  ISlotDownloader& AttachDownloader(int i, int nPort);
  void ConnectEnded(int i, BOOL bConnected);
  void CountOpenDevice(int i);
  ISlotDownloader* StageDownloader(int n);
  void UnregisterDeviceNotification();
  void DeleteDownloader(int i);

  ITidewellView* m_pView;
  IMessageQueue* m_pQueue;
  IClock* m_pClock;
  IDeviceProvider* m_pDevices;
  IDeviceEventSource* m_pEvents;
  SlotDownloaderFactory m_makeDownloader;
  std::string m_strPackagePath;
  PhonePacing m_Pacing;
  IRunObserver* m_pObserver;
  const int m_nSlots;
  const bool m_bAutoStart;

  // m_hDevNotify: the device events are registered.
  bool m_hDevNotify = false;
  // Per slot: connects begun and not yet returned. The downloader runs them
  // one after the other; only the last one's result decides the slot.
  std::array<int, kSlotCount> m_nConnecting{};
};

}  // namespace tw
