// The PDA handshake: open the handset's USB download interface, wait for its
// hello byte and answer it.
#include <algorithm>

#include "download/download.h"
#include "download/downloadtext.h"
#include "firmware/imagetable.h"
#include "pda/pdacommands.h"
#include "pda/pdaguid.h"
#include "platform/devicelocation.h"
#include "platform/trace.h"

namespace tw {

namespace {
constexpr int kOpenAttempts = 100;
constexpr DWORD kOpenRetryMs = 100;
}  // namespace

BOOL CDownLoad::PdaHandshake(int nIndex) {
  Trace("[PDA=>%d] CreateUSBFile !!\r\n", nIndex);
  BYTE Rvalue[kPdaReplyBufferSize] = {};
  LogMessage("[PDA] Connect and Power-on the Device.\r\n");

  std::string preferred;
  {
    std::lock_guard guard(m_whereLock);
    preferred = m_strPreferredPath;
  }
  BOOL bOpened = FALSE;
  for (int attempt = 0; attempt < kOpenAttempts && !bOpened && !Stopping(); ++attempt) {
    bOpened = m_Usb.Open(&GUID_PDA_DOWNLOAD_INTERFACE, std::max(nIndex, Owner().ArmedSlots() - 1), preferred);
    if (!bOpened) Sleep(kOpenRetryMs);
  }
  if (!bOpened) {
    LogMessage("[PDA]Device Not Found.\r\n");
    m_strConnectFailure = "no handset answered on the download interface";
    InitDownloader(nIndex);
    return FALSE;
  }

  SetWhere(LocationOfInterfacePath(m_Usb.DevicePath()), 0);
  LogMessage("[PDA-%d]Driver Opened.\r\n", nIndex);
  LogMessage("[PDA]Read Wait. = [%d] \r\n", nIndex);
  // Bounded by the USB read: a handset that never speaks gives 0 bytes.
  const DWORD nHello = m_Usb.ReadReply(Rvalue, kPdaReplySize);
  LogMessage("[PDA]Read Done. = [%d] \r\n", nIndex);

  if (Rvalue[0] != PDA_RSP_HELLO) {
    LogMessage("[PDA]Wrong Response From Device. DEV=[%d] \r\n", nIndex);
    m_strConnectFailure =
        nHello == 0 ? "the handset sent no hello (time-out)" : "the handset's hello was wrong";
    m_Usb.Close();
    return FALSE;
  }
  LogMessage("[PDA]Device Found. = [%d] \r\n", nIndex);
  data_packet packet;
  packet.SetCommand(PDA_CMD_HELLO_ACK);
  SendRecord(packet);
  m_bFlagSet.bCreateUSB = 1;
  Trace("data_packet Length(Multi? Single?) = %d\r\n", nIndex);
  SetAfterConnectPending(true);
  StartWorker([this] { PdaCommandThread(); });
  SetProgress(0, FormatText("0%%"));
  return TRUE;
}

}  // namespace tw
