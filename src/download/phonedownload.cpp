// The phone download: the regions of the phone image, each jumped to, erased
// and written in acknowledged 1 KiB blocks.
#include <array>
#include <span>
#include <thread>

#include "download/download.h"
#include "download/downloadtext.h"
#include "download/phoneparams.h"
#include "firmware/dloadfile.h"
#include "phonedown/cmsmpacket/msmresponse.h"
#include "phonedown/cmsmpacket/pkt.h"

namespace tw {

namespace {
constexpr std::size_t kTxBuffSize = 5120;
constexpr DWORD kBeforeJumpsMs = 100;
constexpr DWORD kFramePauseMs = 5;
constexpr DWORD kFrameTimeoutMs = 1500;
constexpr int kFrameAttempts = 10;
constexpr DWORD kErasePauseMs = 500;
constexpr DWORD kAfterEraseMs = 200;
constexpr DWORD kBlockTimeoutMs = 10;
constexpr DWORD kAfterRegionMs = 1000;

// A region's ending as its stage-ended report names it.
const char* AreaDetail(CDownLoad::AreaEnd area) {
  switch (area) {
    case CDownLoad::AreaEnd::Written:
      return "written";
    case CDownLoad::AreaEnd::Skipped:
      return "skipped";
    case CDownLoad::AreaEnd::Refused:
      return "refused";
    case CDownLoad::AreaEnd::Failed:
      return "failed";
    case CDownLoad::AreaEnd::Stopped:
      return "stopped";
  }
  return "failed";
}
}  // namespace

int CDownLoad::BuildPhoneParams() {
  m_pParam = std::make_unique<PhoneParams>(MakePhoneParams(Flags().m_bPhoneFullSet));
  return 0;
}

StageResult CDownLoad::RunPhoneDownload(int nIndex) {
  // Parameters.
  CMsmPacket packet;
  BuildPhoneParams();
  Sleep(kBeforeJumpsMs);
  const PhoneParams& params = *m_pParam;
  const int nPort = m_nPort;
  const CDloadFile& image = Owner().PhoneFile();
  LogMessage("Param.nNumRegions = (%d)", static_cast<int>(params.nNumRegions));

  // Two opening jumps; their answers stay queued for the first exchange.
  std::array<BYTE, kTxBuffSize> pTxBuff{};
  std::size_t length = packet.MakeJumpPacket(pTxBuff);
  SendPacket(pTxBuff.data(), static_cast<DWORD>(length), 2, kFramePauseMs);

  // The regions in table order; the result flag holds the last region's outcome.
  BOOL bResult = FALSE;
  std::uint64_t written = 0;
  for (const RegionRecord& region : params.regions) {
    if (Stopping()) return StageResult::Stopped();
    if (region.dwWriteLen != 0) LogMessage("dwWriteLen = <%d>", static_cast<int>(region.dwWriteLen));
    const DWORD dwWriteLen = GetRegionWriteLength(region, image.GetSize());
    const StageInfo regionStage(GetAreaShortName(static_cast<int>(region.dwAreaType)), region.dwStart,
                                dwWriteLen, GetPhoneBlockCount(dwWriteLen), nPort);
    ReportStageStarted(nIndex, regionStage);
    CountStageBytes(0);

    length = packet.MakeJumpPacket(pTxBuff);
    if (SendPacketWaitAck(pTxBuff.data(), static_cast<DWORD>(length), kFrameAttempts, kFrameTimeoutMs,
                          kFramePauseMs) != ACK) {
      if (Stopping()) return StageResult::Stopped();
      LogMessage("[PHONE] [COM%d] Jump fail...\r\n", nPort);
      SetProgress(0, FormatText("[COM%d] PHONE download fail.[id%d]", nPort, nIndex));
      const StageResult failed = StageResult::Failed(
          FormatText("the handset did not answer the jump to %s", regionStage.region.c_str()));
      ReportStageEnded(nIndex, regionStage, StageOutcome(failed, 0, "failed"));
      return failed;
    }
    if (region.dwAreaType == AREA_EFS) {
      if (Flags().m_bPhoneExtraCmd == 1) {
        length = packet.MakeEfsPacket(pTxBuff);
        SendPacketWaitAck(pTxBuff.data(), static_cast<DWORD>(length), kFrameAttempts, kFrameTimeoutMs,
                          kFramePauseMs);  // not examined
      } else {
        bResult = FALSE;
      }
      ReportStageEnded(nIndex, regionStage,
                       StageOutcome(StageResult::Done(), 0,
                                    Flags().m_bPhoneExtraCmd == 1 ? "efs_command" : "not_written"));
    } else {
      const AreaEnd area = DownloadArea(nIndex, image, region.dwStart, dwWriteLen, dwWriteLen,
                                        region.dwTimeout, static_cast<int>(region.dwAreaType));
      const std::uint64_t regionBytes = m_nStageBytes;
      written += regionBytes;
      if (area == AreaEnd::Stopped) {
        ReportStageEnded(nIndex, regionStage, StageOutcome(StageResult::Stopped(), regionBytes, "stopped"));
        return StageResult::Stopped();
      }
      if (area == AreaEnd::Failed) {
        const StageResult failed = StageResult::Failed(NameVanishing(RunStage::Region, m_strAreaFailure));
        ReportStageEnded(nIndex, regionStage, StageOutcome(failed, regionBytes, "failed"));
        CountStageBytes(written);
        return failed;
      }
      ReportStageEnded(nIndex, regionStage, StageOutcome(StageResult::Done(), regionBytes, AreaDetail(area)));
      bResult = area == AreaEnd::Written ? TRUE : FALSE;
      SetProgress(0, FormatText("[COM%d] Wait.download is in proceeding...", nPort));
    }
    if (!Sleep(kAfterRegionMs)) {
      CountStageBytes(written);
      return StageResult::Stopped();
    }
  }
  CountStageBytes(written);

  // Closing report: the last region decides.
  SetProgress(
      0, FormatText(bResult ? "[COM%d]Phone image complete." : "[COM%d]Phone image download failed.", nPort));
  LogMessage("[COM%d]PHONE Download complete.\r\n", nPort);
  if (!bResult) return StageResult::Failed("the last region was not written");
  return StageResult::Done();
}

CDownLoad::AreaEnd CDownLoad::DownloadArea(int nIndex, const CDloadFile& image, DWORD start, DWORD length,
                                           DWORD size, DWORD timeout, int type) {
  const DWORD nTotalPkt = GetPhoneBlockCount(size);
  const DWORD firstPkt = GetPhoneFirstBlock(start);
  const char* longName = GetAreaLongName(type);
  const char* shortName = GetAreaShortName(type);
  const int nPort = m_nPort;

  // A region that reaches past the image's packets cannot be written: it is
  // refused before anything is erased.
  const DWORD havePkt = image.GetPacketCount();
  if (nTotalPkt > 0 && (firstPkt >= havePkt || nTotalPkt > havePkt - firstPkt)) {
    LogMessage("[PHONE] [COM%d]%s lies beyond the end of the phone image.\r\n", nPort, longName);
    return AreaEnd::Refused;
  }

  // Erase; only NAK_BAD_CRC skips the region (named in the run's end event).
  LogMessage("[PHONE-%d] [COM%d]Wait for Erasing %s\r\n", nIndex, nPort, longName);
  CMsmPacket packet;
  std::array<BYTE, kTxBuffSize> pTxBuff{};
  std::size_t frameLength = packet.MakeErasePacket(pTxBuff, start, length);
  const int code = SendPacketWaitAck(pTxBuff.data(), static_cast<DWORD>(frameLength), kFrameAttempts, timeout,
                                     kErasePauseMs, PauseUse::Kept);
  if (code == ACK) {
    LogMessage("[PHONE] [COM%d]Erasing %s Complete.\r\n", nPort, longName);
  } else if (code == NAK_BAD_CRC) {
    LogMessage("[byteRsp value is NAK_BAD_CRC!!] [COM%d] Complete.\r\n", nPort);
    std::lock_guard guard(m_skippedLock);
    m_skippedRegions.emplace_back(shortName);
    return AreaEnd::Skipped;
  }
  Sleep(kAfterEraseMs);
  if (size == 0) return AreaEnd::Written;

  // The blocks, each acknowledged before the next; one attempt each.
  LogMessage("[nTotalPkt = %d] [COM%d] Complete.\r\n", static_cast<int>(nTotalPkt), nPort);
  for (DWORD i = 0; i < nTotalPkt; ++i) {
    if (Stopping()) return AreaEnd::Stopped;
    frameLength =
        packet.MakeDataPacket(pTxBuff, start + i * kPhoneBlockSize, static_cast<WORD>(kPhoneBlockSize),
                              image.PacketData(firstPkt + i).first(kPhoneBlockSize));
    if (SendPacketWaitAck(pTxBuff.data(), static_cast<DWORD>(frameLength), 1, kBlockTimeoutMs,
                          kFramePauseMs) != ACK) {
      if (Stopping()) return AreaEnd::Stopped;
      m_strAreaFailure = FormatText("%s block %u of %u not acknowledged", shortName,
                                    static_cast<unsigned>(i + 1), static_cast<unsigned>(nTotalPkt));
      SetProgress(0, FormatText("id[%d]-[COM%d] PHONE download fail.--", nIndex, nPort));
      return AreaEnd::Failed;
    }
    CountStageBytes(static_cast<std::uint64_t>(i + 1) * kPhoneBlockSize);
    const int percent = static_cast<int>(static_cast<double>(i) * 100.0 / nTotalPkt);
    SetProgress(percent, FormatText("[COM%d] %s downloading : %3.3d %%", nPort, shortName, percent));
    std::this_thread::yield();
  }
  return AreaEnd::Written;
}

}  // namespace tw
