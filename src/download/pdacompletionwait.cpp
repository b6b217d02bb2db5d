// The completion wait of the EBOOT and OS-image downloads: poll the handset
// until it confirms that the image is stored, within a bound.
#include "download/download.h"
#include "pda/pdacommands.h"
#include "platform/tunables.h"

namespace tw {

namespace {
constexpr DWORD kPollPauseMs = 20;
}  // namespace

// Reads replies into `reply` until one begins with doneCode; every other reply
// is answered with PDA_CMD_POLL. The EBOOT wait pauses before each read, the
// OS-image wait after each poll. Only a read that brought bytes counts: a
// silent read leaves the last reply's byte 0 behind, which must not pass for
// a confirmation. FALSE when the bound ran out or the downloader is stopping.
BOOL CDownLoad::WaitForCompletion(BYTE* reply, BYTE doneCode, bool bPauseBeforeRead) {
  const Tunables& tunables = GetTunables();
  IClock& clock = Owner().Clock();
  const std::uint32_t start = clock.GetTickCount();
  int silentReads = 0;
  for (;;) {
    if (bPauseBeforeRead && !Sleep(kPollPauseMs)) return FALSE;
    const DWORD n = m_Usb.ReadReply(reply, kPdaReplySize);
    if (n > 0 && reply[0] == doneCode) return TRUE;
    silentReads = n == 0 ? silentReads + 1 : 0;
    const std::uint32_t elapsed = clock.GetTickCount() - start;
    if (silentReads >= tunables.completionSilentReads ||
        elapsed >= static_cast<std::uint32_t>(tunables.completionWaitMs) || Stopping()) {
      return FALSE;
    }
    data_packet poll;
    poll.SetCommand(PDA_CMD_POLL);
    SendRecord(poll);
    if (!bPauseBeforeRead && !Sleep(kPollPauseMs)) return FALSE;
  }
}

}  // namespace tw
