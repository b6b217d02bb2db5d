#include "cli/stallwatch.h"

namespace tw {

bool CStallWatch::Stalled(const DownloadOwnerFlags& flags) {
  if (flags.m_bDownStart == 0) {
    m_bSeenWriting = false;
    m_nQuietLooks = 0;
    return false;
  }
  if (flags.m_bRundnload == 1) {
    m_bSeenWriting = true;
    m_nQuietLooks = 0;
    return false;
  }
  bool bQuiet = m_bSeenWriting && flags.m_bPhoneStage[0] == 0;
  m_nQuietLooks = bQuiet ? m_nQuietLooks + 1 : 0;
  return m_nQuietLooks >= 2;
}

}  // namespace tw
