// The downloader: carries one handset through an upgrade. It owns the two
// transports, starts the worker threads that run the connects and the
// download stages, and reports to its owner through log lines, the progress
// bar, the end of each connect (WM_CONNECT_DONE) and exactly one end event
// per run (IDownloadOwner::PostRunEnd), which carries the downloader's slot
// and the run's outcome.
//
// Threads: BeginConnectPda and BeginConnectPhone run their connect on the
// downloader's own worker (std::jthread); ConnectPda and ConnectPhone run it
// on the calling thread. StartDownload and StartPhoneDownload run on the UI
// thread. The destructor stops and joins every worker; every wait of a
// connect or a stage observes that stop request.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "download/downloadowner.h"
#include "download/downloadsinks.h"
#include "download/runobserver.h"
#include "download/runoutcome.h"
#include "download/sinkobserver.h"
#include "pda/usbinterface.h"
#include "phonedown/cwinrs232c/winrs232c.h"
#include "platform/wintypes.h"

namespace tw {

struct ImageTable;
struct PhoneParams;
struct data_packet;
struct os_data_packet;
class CDloadFile;

class CDownLoad {
 public:
  // The downloader's own flags, 0 or 1.
  struct FlagSet {
    std::atomic<int> bCreateUSB{0};      // the handshake opened the USB channel
    std::atomic<int> bStartDownload{0};  // Start was requested
    std::atomic<int> bOpenPhone{0};      // the phone's COM port is being opened or is open
  };

  // pOwner may be null: the downloader then works with an inert owner whose
  // flags are all clear and which has no devices.
  CDownLoad(IDownloadOwner* pOwner, int nPort);
  CDownLoad(const CDownLoad&) = delete;
  CDownLoad& operator=(const CDownLoad&) = delete;
  // Stops and joins the workers, then closes the serial port.
  virtual ~CDownLoad();

  // The connects, on the calling thread: they wait for the workers of an
  // ended run, then connect slot nIndex's handset. TRUE when connected.
  BOOL ConnectPda(ImageTable* pTable, int nIndex);
  BOOL ConnectPhone(PhonePort* pPort, int nIndex);
  // The same connects on a worker of their own, so that they block no other
  // thread; each posts WM_CONNECT_DONE (wParam nIndex, lParam a
  // ConnectResult) when it has returned.
  void BeginConnectPda(ImageTable* pTable, int nIndex);
  void BeginConnectPhone(int nPort, int nIndex);
  // Where the handset of the current (or last) run is plugged in: the
  // location of the download interface its handshake opened; "" when
  // unknown. Callable from any thread.
  std::string PdaLocation() const;
  // The download interface the next handshake tries first: the one whose
  // arrival the slot took. Callable from any thread.
  void PreferInterface(const std::string& path);
  // Entry operations, UI thread.
  void StartDownload(int nIndex);
  void StartPhoneDownload(int nIndex);

  // Stages. Each hands back how it ended; the worker that ran it ends the
  // run once (EndRun) unless it handed over to the phone.
  BOOL PdaHandshake(int nIndex);
  StageResult RunEbootDownload(int nIndex, BOOL bNextPda);
  StageResult RunOsImageDownload(int nIndex, BOOL bNextPhone);
  BOOL OpenPhonePort(int nIndex);
  StageResult RunPhoneDownload(int nIndex);
  // How one region of the phone download ended.
  enum class AreaEnd { Written, Skipped, Refused, Failed, Stopped };
  AreaEnd DownloadArea(int nIndex, const CDloadFile& image, DWORD start, DWORD length, DWORD size,
                       DWORD timeout, int type);
  int SendPacket(const BYTE* frame, DWORD length, int attempts, DWORD pause);
  // What the pause of SendPacketWaitAck is for. Under answer pacing a pause
  // that only lets the answer arrive gives way to the wait for the whole
  // answer; a pause of its own (the erase attempts') is slept in both modes.
  enum class PauseUse { AnswerArrival, Kept };
  int SendPacketWaitAck(const BYTE* frame, DWORD length, int attempts, DWORD timeout, DWORD pause,
                        PauseUse use = PauseUse::AnswerArrival);
  int BuildPhoneParams();

  // Reporting, callable from any thread.
  [[gnu::format(printf, 2, 3)]] void LogMessage(const char* fmt, ...);
  void SetProgress(int nPos, const std::string& strText);
  void PostToOwner(UINT nMsg, WPARAM wParam, LPARAM lParam);
  int InitDownloader(int nIndex);
  void SetProgressCtrl(IProgressSink* p);
  void SetLogEdit(ILogSink* p);
  void ClearProgressCtrl();
  void ClearLog();

  // The stage reports around a stage's body: its start, then its end with
  // the bytes it counted (CountStageBytes) and, when the device vanished
  // under a failed stage, that as the reason.
  StageResult RunReportedStage(int nIndex, const StageInfo& info, const std::function<StageResult()>& body);
  void ReportStageStarted(int nIndex, const StageInfo& info);
  void ReportStageEnded(int nIndex, const StageInfo& info, const StageOutcome& outcome);
  void CountStageBytes(std::uint64_t bytes) { m_nStageBytes = bytes; }

  // The log text since the last reset (a copy, for tests and the headless front end).
  std::string GetLogText() const;
  // Waits until every worker started so far has ended (tests, shutdown).
  void JoinWorkers();
  // Asks the workers to end: every wait they are in, or come to, ends at
  // once, and no stage starts. The destructor does this before it joins
  // them. Callable from any thread.
  void RequestStop() { m_stop.request_stop(); }

  IDownloadOwner* const m_pOwner;
  std::atomic<int> m_nIndex{0};
  std::atomic<int> m_nPort;
  FlagSet m_bFlagSet;
  // Start and the connect each may start a run's download worker; the first
  // to claim it does (cleared by the reset).
  std::atomic<bool> m_bPdaWorkerClaimed{false};
  std::atomic<bool> m_bPhoneWorkerClaimed{false};
  std::atomic<ImageTable*> m_pImageTable{nullptr};
  std::atomic<PhonePort*> m_pPhonePort{nullptr};
  CUsbInterface m_Usb;
  CWinRs232cSync m_Serial;
  std::unique_ptr<PhoneParams> m_pParam;

 private:
  // One running or finished worker thread.
  struct Worker {
    std::shared_ptr<std::atomic<bool>> pDone;
    std::jthread thread;
  };

  // Worker procedures.
  void PdaDownloadThread();
  void PhoneDownloadThread();
  void PdaCommandThread();
  void StartWorker(std::function<void()> proc);
  void StartStageWorkerOnce(std::atomic<bool>& claimed, void (CDownLoad::*proc)());
  void WaitForEndedRun();

  // Helpers of the stages.
  IDownloadOwner& Owner() const { return *m_pActiveOwner; }
  DownloadOwnerFlags& Flags() const { return m_pActiveOwner->OwnerFlags(); }
  bool Sleep(std::uint32_t ms);
  bool Stopping() const { return m_stop.stop_requested(); }
  void EndRun(int nIndex, const StageResult& result);
  RunEnd MakeRunEnd(int nIndex, RunOutcome outcome, std::string reason) const;
  void SetWhere(const std::string& location, int nComPort);
  void BeginRun(int nIndex);
  void ReportRunEnded(const RunEnd& end);
  template <typename Fn>
  void Report(Fn&& fn) {
    for (IRunObserver* pObserver : m_observers) fn(*pObserver);
  }
  std::string NameVanishing(RunStage stage, const std::string& reason) const;
  StageResult FailStage(const std::string& logLine, const std::string& progressText, std::string reason);
  StageResult HandOverToPhone(int nIndex, const BYTE* reply);
  bool WaitAfterConnectSent();
  bool WaitAfterConnectSent(std::stop_token stop);
  void SetAfterConnectPending(bool bPending);
  static bool SlotInRange(int nIndex);
  static void SetSlotFlag(std::array<std::atomic<int>, 8>& flag, int nIndex, int value);
  void SetPhoneStage(int nIndex, int value);
  int PhoneStage(int nIndex) const;
  void SetSlotIdle(int nIndex, int value);
  DWORD SendRecord(const data_packet& packet);
  void SendPhoneMode();
  BOOL WaitForCompletion(BYTE* reply, BYTE doneCode, bool bPauseBeforeRead);
  BOOL ServeOsRequest(std::span<const BYTE> image, DWORD& sent, DWORD dwCount);
  void SendOsPacket(os_data_packet& writeBuff, std::span<const BYTE> data);
  StageResult FailOsZeroData(int nIndex);
  StageResult FailOsRequestBeyondEnd(DWORD dwCount, DWORD dwLeft);
  DWORD ReadResponse(BYTE* pRxBuff, DWORD capacity, DWORD waitMs, bool bWholeAnswer);
  void DropWaitingAnswers(DWORD waitMs);

  IDownloadOwner* m_pActiveOwner;
  std::unique_ptr<IDownloadOwner> m_pInertOwner;
  std::stop_source m_stop;
  // Set by the destructor: a downloader being destroyed posts nothing more.
  std::atomic<bool> m_bDestroying{false};
  // The port number a worker's phone connect opens (BeginConnectPhone).
  PhonePort m_ConnectPort;
  // The regions of this run whose erase was refused, for its end event.
  std::mutex m_skippedLock;
  std::vector<std::string> m_skippedRegions;

  // The subscribers of this downloader's reports: the log box and progress
  // bar, and the owner's observer (the event and record writers).
  CSinkObserver m_sinks;
  std::vector<IRunObserver*> m_observers;
  // A run has begun (connect) and not yet reported its end.
  std::atomic<bool> m_bRunOpen{false};
  // The image bytes the running stage has written (acknowledged).
  std::atomic<std::uint64_t> m_nStageBytes{0};
  // Why the last PDA handshake or the last failed region failed.
  std::string m_strConnectFailure;
  std::string m_strAreaFailure;
  // The run's handset: its location and the COM port its phone side opened.
  mutable std::mutex m_whereLock;
  std::string m_strLocation;
  int m_nRunComPort = 0;
  std::string m_strPreferredPath;

  // Set by the handshake until PdaCommandThread's one write is done.
  std::mutex m_afterConnectLock;
  std::condition_variable_any m_afterConnectSent;
  bool m_bAfterConnectPending = false;

  std::mutex m_workerLock;
  std::list<Worker> m_workers;
};

}  // namespace tw
