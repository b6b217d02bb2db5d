// The OS-image download: the handset asks for data with 16-byte requests and
// the host answers each with 1024-byte packets of 1008 image bytes.
#include <algorithm>
#include <optional>
#include <span>

#include "download/download.h"
#include "download/downloadtext.h"
#include "firmware/imagetable.h"
#include "pda/pdacommands.h"

namespace tw {

namespace {
constexpr DWORD kShortRequestPauseMs = 20;
constexpr DWORD kPhoneModeDelayMs = 1000;
}  // namespace

StageResult CDownLoad::RunOsImageDownload(int nIndex, BOOL bNextPhone) {
  const ImageTable* pTable = m_pImageTable;
  const std::optional<std::span<const BYTE>> image = pTable ? pTable->PdaImage() : std::nullopt;
  if (!image) return StageResult::Done();
  const DWORD dwSize = static_cast<DWORD>(image->size());

  // Announce the image.
  data_packet packet;
  packet.SetCommand(PDA_CMD_OS_INFO, dwSize);
  LogMessage("OsImage data length = <%dKB>\r\n", static_cast<int>(dwSize / 1024));
  SendRecord(packet);
  LogMessage("[PDA]OsImage data download ready.\r\n");

  // Serve the handset's requests until the whole image is out.
  BYTE ReadBuff[kPdaReadBuffSize] = {};
  DWORD sent = 0;
  for (;;) {
    if (Stopping()) return StageResult::Stopped();
    const DWORD n = m_Usb.ReadReply(ReadBuff, kReadHeaderSize);
    const std::optional<read_header> request = ParseReadHeader(ReadBuff, n);
    if (request && request->dwRequest != PDA_REQ_DATA) continue;
    if (request) {
      if (request->dwCount > dwSize - sent) return FailOsRequestBeyondEnd(request->dwCount, dwSize - sent);
      if (!ServeOsRequest(*image, sent, request->dwCount)) return FailOsZeroData(nIndex);
      if (sent == dwSize) break;
      continue;
    }
    if (n == 0) return FailOsZeroData(nIndex);
    packet.SetCommand(PDA_CMD_POLL);  // a short request: dropped, polled again
    SendRecord(packet);
    Sleep(kShortRequestPauseMs);
  }

  // Completion wait, bounded.
  BYTE Rvalue2[kPdaReplyBufferSize] = {};
  if (!WaitForCompletion(Rvalue2, PDA_RSP_OS_DONE, false)) {
    if (Stopping()) return StageResult::Stopped();
    return FailStage("[PDA]OS image download was not confirmed by the device.\r\n",
                     "PDA OS image not confirmed by device.", "the device did not confirm the PDA OS image");
  }
  SetProgress(0, "PDA OS image completed.");
  LogMessage("[PDA]OS image download complete.\r\n");

  // Hand over to the phone; the phone stage ends the run.
  if (bNextPhone) {
    BYTE Rvalue3[kPdaReplyBufferSize] = {};
    packet.SetCommand(PDA_CMD_IMAGE_DONE);
    SendRecord(packet);
    m_Usb.ReadReply(Rvalue3, kPdaReplySize);
    if (Rvalue3[0] == PDA_RSP_READY && !Sleep(kPhoneModeDelayMs)) return StageResult::Stopped();
    return HandOverToPhone(nIndex, Rvalue3);
  }
  // No phone image: the run ends here.
  packet.SetCommand(PDA_CMD_FINISH);
  SendRecord(packet);
  return StageResult::Done();
}

// Serves one request of dwCount bytes of image (never more than remain):
// packets of 1008 image bytes, each acknowledged, then the last one and one
// progress report. FALSE when the acknowledgement of the last packet did not come.
BOOL CDownLoad::ServeOsRequest(std::span<const BYTE> image, DWORD& sent, DWORD dwCount) {
  const DWORD dwSize = static_cast<DWORD>(image.size());
  BYTE ReadBuff[kPdaReadBuffSize] = {};
  os_data_packet writeBuff;
  DWORD outstanding = dwCount;
  while (outstanding > kWriteBuffDataSize) {
    const DWORD chunk = std::min<DWORD>(dwSize - sent, kWriteBuffDataSize);
    SendOsPacket(writeBuff, image.subspan(sent, chunk));
    sent += chunk;
    outstanding -= chunk;
    m_Usb.ReadReply(ReadBuff, kPdaOsAckSize);  // not examined
    if (Stopping()) return FALSE;
  }
  const DWORD chunk = std::min<DWORD>(dwSize - sent, outstanding);
  SendOsPacket(writeBuff, image.subspan(sent, chunk));
  sent += chunk;
  CountStageBytes(sent);
  const int percent = Percent(sent, dwSize);
  SetProgress(percent, FormatText("PDA downloading : %3.3d %%", percent));
  return m_Usb.ReadReply(ReadBuff, kPdaOsAckSize) > 0 ? TRUE : FALSE;
}

void CDownLoad::SendOsPacket(os_data_packet& writeBuff, std::span<const BYTE> data) {
  writeBuff.SetData(data.empty() ? nullptr : data.data(), data.size());
  const auto bytes = writeBuff.Encode();
  m_Usb.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
}

// A request or the acknowledgement after a request's last packet brought
// nothing (after a stop request: the stop ends the run).
StageResult CDownLoad::FailOsZeroData(int nIndex) {
  if (Stopping()) return StageResult::Stopped();
  SetSlotIdle(nIndex, 0);
  return FailStage("[RunDownload]Error Hanppen - Received Data zero\r\n", "TIME OUT. Can't Access Device..",
                   "no answer to a PDA OS image packet");
}

// The handset asked for more bytes than the image has left: serving it would
// send empty packets without end, so the run ends as a failed one.
StageResult CDownLoad::FailOsRequestBeyondEnd(DWORD dwCount, DWORD dwLeft) {
  return FailStage(FormatText("[PDA]Device asked for %u bytes, only %u left. Download stopped.\r\n",
                              static_cast<unsigned>(dwCount), static_cast<unsigned>(dwLeft)),
                   "PDA OS image failed: bad request from device.",
                   "the device asked for more than the image");
}

}  // namespace tw
