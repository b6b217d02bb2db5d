#include "app/downloadslot.h"

namespace tw {

SlotDownloaderFactory RealDownloaderFactory() {
  return [](IDownloadOwner* pOwner, int nPort) -> std::unique_ptr<ISlotDownloader> {
    return std::make_unique<CDownLoadSlot>(pOwner, nPort);
  };
}

}  // namespace tw
