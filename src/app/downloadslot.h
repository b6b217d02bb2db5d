// A slot's downloader served by a real CDownLoad. Tests and benchmarks
// derive from it to observe a call.
#pragma once
#include "app/slotdownloader.h"
#include "download/download.h"

namespace tw {

class CDownLoadSlot : public ISlotDownloader {
 public:
  CDownLoadSlot(IDownloadOwner* pOwner, int nPort) : m_DownLoad(pOwner, nPort) {}

  void ConnectPda(ImageTable* pTable, int nIndex) override { m_DownLoad.BeginConnectPda(pTable, nIndex); }
  void ConnectPhone(int nPort, int nIndex) override { m_DownLoad.BeginConnectPhone(nPort, nIndex); }
  void StartDownload(int nIndex) override { m_DownLoad.StartDownload(nIndex); }
  void StartPhoneDownload(int nIndex) override { m_DownLoad.StartPhoneDownload(nIndex); }

  void SetProgressCtrl(IProgressSink* p) override { m_DownLoad.SetProgressCtrl(p); }
  void SetLogEdit(ILogSink* p) override { m_DownLoad.SetLogEdit(p); }
  void ClearProgressCtrl() override { m_DownLoad.ClearProgressCtrl(); }
  void ClearLog() override { m_DownLoad.ClearLog(); }

  void SetPort(int nPort) override { m_DownLoad.m_nPort = nPort; }
  BOOL CreateUsb() const override { return m_DownLoad.m_bFlagSet.bCreateUSB.load(); }
  // The flag rather than the port handle: the flag is safe to read while a
  // worker closes the port, and it also covers a port still being opened.
  BOOL PhonePortOpen() const override { return m_DownLoad.m_bFlagSet.bOpenPhone.load(); }
  std::string PdaLocation() const override { return m_DownLoad.PdaLocation(); }
  void PreferInterface(const std::string& path) override { m_DownLoad.PreferInterface(path); }

  CDownLoad& DownLoad() { return m_DownLoad; }

 private:
  CDownLoad m_DownLoad;
};

}  // namespace tw
