// The downloader's owner: the main dialog's logic (GUI or headless). A
// downloader reads and writes the owner's flags, posts the end of each
// connect and of each run to the owner's event loop, and takes its clock and
// devices from the owner.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>

#include "download/phonepacing.h"
#include "download/runobserver.h"
#include "download/runoutcome.h"
#include "platform/clock.h"
#include "platform/deviceprovider.h"
#include "platform/wintypes.h"

namespace tw {

class CDloadFile;

// The dialog's one-field record that hands the phone's COM port number to a
// downloader (ConnectPhone / OpenPhonePort).
struct PhonePort {
  int nPort = 0;
};

// How a connect begun on a downloader's worker ended: the lParam of
// WM_CONNECT_DONE.
enum class ConnectResult : int { PdaFailed = 0, PdaConnected = 1, PhoneFailed = 2, PhoneConnected = 3 };

// The main dialog's fields that downloaders share. They are read and written
// from the UI thread and from worker threads, hence atomic. The dialog may
// derive from this struct so that its members keep these names.
struct DownloadOwnerFlags {
  // Which stages run: set by the package loader.
  std::atomic<int> m_bDownEboot{0};
  std::atomic<int> m_bDownPda{0};
  std::atomic<int> m_bDownPhone{0};
  // Per slot: a download was started; set by StartDownload and
  // StartPhoneDownload.
  std::array<std::atomic<int>, 8> m_bDownStart{};
  // Per slot: download running. The downloader sets it while a worker writes
  // to the handset, and clears it before PDA_CMD_PHONE_MODE goes out and at
  // the end of every run (InitDownloader). The dialog's arrival handler
  // passes the slot by while it is 1, so it must be 0 when the handset comes
  // back as the COM port of the hand-over.
  std::array<std::atomic<int>, 8> m_bRundnload{};
  // Per slot: sent into phone download mode (cleared by InitDownloader) ...
  std::array<std::atomic<int>, 8> m_bPhoneStage{};
  // ... and free to take a new arrival (the OS-image stage clears it on its
  // receive errors).
  std::array<std::atomic<int>, 8> m_bSlotIdle{};
  // The two phone options of the package: full region set, and the extra EFS
  // command (exactly 1 turns it on).
  std::atomic<int> m_bPhoneFullSet{0};
  std::atomic<int> m_bPhoneExtraCmd{0};
  // The NAND option pair: when m_bNandSelect is 1 the EBOOT stage sends
  // m_dwNandMask with its first command.
  std::atomic<int> m_bNandSelect{0};
  std::atomic<std::uint32_t> m_dwNandMask{0};
};

class IDownloadOwner {
 public:
  virtual ~IDownloadOwner() = default;

  // The shared flags above.
  virtual DownloadOwnerFlags& OwnerFlags() = 0;

  // The phone image (m_PhoneFile). Workers read it during a download; nothing
  // may replace it while one runs.
  virtual const CDloadFile& PhoneFile() = 0;

  // Posts a private message (WM_DOWNLOAD_DONE, ...) to the UI thread's event
  // loop. Callable from any thread; never waits for the UI thread.
  virtual void PostMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) = 0;

  // Posts the end event of a run to the UI thread's loop, like PostMessage.
  // Owners that only count messages take it as WM_DOWNLOAD_DONE with the
  // slot and the outcome.
  virtual void PostRunEnd(const RunEnd& end) {
    PostMessage(WM_DOWNLOAD_DONE, static_cast<WPARAM>(end.nSlot), static_cast<LPARAM>(end.outcome));
  }

  // The platform: the clock for every sleep, and the device provider that the
  // USB and serial transports open their devices through.
  virtual IClock& Clock() = 0;
  virtual IDeviceProvider& Devices() = 0;

  // How the phone exchange paces itself (--pacing); the documented fixed
  // pauses unless the owner says otherwise.
  virtual PhonePacing Pacing() { return PhonePacing::Fixed; }

  // Who else hears what the downloader reports (beside its log box and
  // progress bar); null for nobody. It must outlive the downloader.
  virtual IRunObserver* RunObserver() { return nullptr; }

  // How many slots are armed: a slot's handshake may open any of that many
  // download interfaces (the first one free), not only the one of its index.
  virtual int ArmedSlots() { return 1; }
};

}  // namespace tw
