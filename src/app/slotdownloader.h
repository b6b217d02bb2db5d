// The downloader of one device slot, as the main dialog's logic drives it.
// CDownLoadSlot serves it with a real CDownLoad; tests serve it with fakes
// that decide each connect's outcome.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "download/downloadowner.h"
#include "download/downloadsinks.h"
#include "platform/wintypes.h"

namespace tw {

struct ImageTable;

class ISlotDownloader {
 public:
  virtual ~ISlotDownloader() = default;

  // Begin a connect on the slot's own worker: the PDA handshake, or opening
  // COM<nPort>. Its end comes back as WM_CONNECT_DONE (wParam nIndex, lParam
  // a ConnectResult).
  virtual void ConnectPda(ImageTable* pTable, int nIndex) = 0;
  virtual void ConnectPhone(int nPort, int nIndex) = 0;
  virtual void StartDownload(int nIndex) = 0;
  virtual void StartPhoneDownload(int nIndex) = 0;

  virtual void SetProgressCtrl(IProgressSink* p) = 0;
  virtual void SetLogEdit(ILogSink* p) = 0;
  virtual void ClearProgressCtrl() = 0;
  virtual void ClearLog() = 0;

  // m_nPort: the phone's COM port number.
  virtual void SetPort(int nPort) = 0;
  // m_bFlagSet.bCreateUSB: the PDA handshake connected the device.
  virtual BOOL CreateUsb() const = 0;
  // The phone side's COM port is being opened or is open.
  virtual BOOL PhonePortOpen() const = 0;
  // Where the slot's handset is plugged in (its download interface's
  // location); "" when unknown.
  virtual std::string PdaLocation() const { return {}; }
  // The download interface (its path) whose arrival the slot took: the
  // next PDA connect tries it first.
  virtual void PreferInterface(const std::string& /*path*/) {}
};

// Makes the downloader of a slot: CDownLoad(pOwner, nPort).
using SlotDownloaderFactory =
    std::function<std::unique_ptr<ISlotDownloader>(IDownloadOwner* pOwner, int nPort)>;

// The factory of real downloaders.
SlotDownloaderFactory RealDownloaderFactory();

}  // namespace tw
