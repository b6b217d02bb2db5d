// The EBOOT download: the bootloader image in 1000-byte records, each
// answered by the handset, then the completion wait and the hand-over.
#include <algorithm>
#include <optional>
#include <span>

#include "download/download.h"
#include "download/downloadtext.h"
#include "firmware/imagetable.h"
#include "pda/pdacommands.h"

namespace tw {

StageResult CDownLoad::RunEbootDownload(int nIndex, BOOL bNextPda) {
  const ImageTable* pTable = m_pImageTable;
  const std::optional<std::span<const BYTE>> image = pTable ? pTable->EbootImage() : std::nullopt;
  if (!image) return StageResult::Done();
  const DWORD dwSize = static_cast<DWORD>(image->size());

  BYTE ReadBuff[kPdaReadBuffSize] = {};
  BYTE Rvalue2[kPdaReplyBufferSize] = {};
  BYTE Rvalue3[kPdaReplyBufferSize] = {};
  DownloadOwnerFlags& flags = Flags();

  // Announce the image; the first poll still carries its size and the NAND mask.
  data_packet packet;
  packet.SetCommand(PDA_CMD_EBOOT_INFO, dwSize, flags.m_bNandSelect == 1 ? flags.m_dwNandMask.load() : 0);
  LogMessage("[PDA]Eboot data length = <%dKB>\r\n", static_cast<int>(dwSize / 1024));
  SendRecord(packet);
  m_Usb.ReadReply(Rvalue2, kPdaReplySize);
  if (Rvalue2[0] == PDA_RSP_READY) LogMessage("[PDA]EBoot data download ready.\r\n");
  packet.dwCommand = PDA_CMD_POLL;
  SendRecord(packet);

  // One data record per acknowledgement; a missing one is noticed after
  // the next record has gone out.
  DWORD sent = 0;
  for (;;) {
    const DWORD n = m_Usb.ReadReply(ReadBuff, kPdaReplySize);
    const DWORD chunk = std::min<DWORD>(dwSize - sent, kDataPacketDataSize);
    packet.SetCommand(PDA_CMD_EBOOT_DATA, dwSize, 0);
    if (chunk > 0) packet.SetData(image->subspan(sent, chunk).data(), chunk);
    sent += chunk;
    SendRecord(packet);
    CountStageBytes(sent);
    const int percent = Percent(sent, dwSize);
    SetProgress(percent, FormatText("Eboot downloading : %3.3d %%", percent));
    if (sent >= dwSize) break;
    if (Stopping()) return StageResult::Stopped();
    if (n == 0) {
      return FailStage("[RunDownload]Error Hanppen - Received data zero\r\n",
                       "TIME OUT. Can't access device..", "no answer to an EBOOT record");
    }
  }

  // The acknowledgement of the last record decides whether the end command follows.
  if (m_Usb.ReadReply(ReadBuff, kPdaReplySize) == 0) {
    if (Stopping()) return StageResult::Stopped();
    SetProgress(0, "TIME OUT :: Can't access device..");
    return StageResult::Failed("no answer to the last EBOOT record");
  }
  packet.SetCommand(PDA_CMD_EBOOT_END);
  SendRecord(packet);

  // Completion wait, bounded.
  if (!WaitForCompletion(Rvalue2, PDA_RSP_READY, true)) {
    if (Stopping()) return StageResult::Stopped();
    return FailStage("[PDA] EBoot download was not confirmed by the device.\r\n",
                     "Eboot image not confirmed by device.", "the device did not confirm the EBOOT image");
  }
  SetProgress(0, "Eboot image complete.");
  LogMessage("[PDA] EBoot download complete.\r\n");

  // Hand over to the OS-image download, or to the phone.
  packet.SetCommand(PDA_CMD_IMAGE_DONE);
  SendRecord(packet);
  if (bNextPda) return StageResult::Done();
  m_Usb.ReadReply(Rvalue3, kPdaReplySize);
  if (Stopping()) return StageResult::Stopped();
  return HandOverToPhone(nIndex, Rvalue3);
}

}  // namespace tw
