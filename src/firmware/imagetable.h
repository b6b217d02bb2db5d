// The image table: the main dialog's record of the current images, which
// every downloader holds a pointer to. The EBOOT and OS-image stages read
// their images through EbootImage() and PdaImage(): the sizes below over
// the named buffers' storages (never CBufBin::m_nLength).
//
// Plain fields: the table is written on the user-interface thread while no
// download runs (loading at start-up, the developer tools) and only read by
// the workers, which are started after the writes (starting a thread orders
// them before its reads).
#pragma once
#include <optional>
#include <span>

#include "firmware/bufbin.h"
#include "platform/wintypes.h"

namespace tw {

struct ImageTable {
  CBufBin* pEbootBin = nullptr;  // null when there is no EBOOT image
  CBufBin* pPdaBin = nullptr;
  DWORD dwEbootSize = 0;
  DWORD dwPdaSize = 0;
  DWORD dwPhoneSize = 0;

  // The images as the stages send them, read-only. nullopt when there is
  // none to send: no buffer, or a size without storage.
  std::optional<std::span<const BYTE>> EbootImage() const {
    return pEbootBin ? Image(pEbootBin->m_pEboot, dwEbootSize) : std::nullopt;
  }
  std::optional<std::span<const BYTE>> PdaImage() const {
    return pPdaBin ? Image(pPdaBin->m_pPda, dwPdaSize) : std::nullopt;
  }

 private:
  static std::optional<std::span<const BYTE>> Image(const BYTE* storage, DWORD size) {
    if (!storage && size > 0) return std::nullopt;
    return std::span<const BYTE>(storage, size);
  }
};

}  // namespace tw
