// The image table: the main dialog's record of the current images, which
// every downloader holds a pointer to. The EBOOT stage reads
// pEbootBin->m_pEboot, the OS-image stage pPdaBin->m_pPda, both with the
// sizes below (never CBufBin::m_nLength).
//
// Plain fields: the table is written on the user-interface thread while no
// download runs (loading at start-up, the developer tools) and only read by
// the workers, which are started after the writes (starting a thread orders
// them before its reads).
#pragma once
#include "firmware/bufbin.h"
#include "platform/wintypes.h"

namespace tw {

struct ImageTable {
  CBufBin* pEbootBin = nullptr;  // null when there is no EBOOT image
  CBufBin* pPdaBin = nullptr;
  DWORD dwEbootSize = 0;
  DWORD dwPdaSize = 0;
  DWORD dwPhoneSize = 0;
};

}  // namespace tw
