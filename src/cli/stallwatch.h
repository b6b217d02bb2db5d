// Notices a run that ended without WM_DOWNLOAD_DONE and without handing
// over to the phone (a download stage that only returns): a download was
// started, a worker was writing (m_bRundnload seen set), and now nothing
// writes, no phone stage is pending and no end message came. It takes two
// looks in a row, so an end message on its way is not mistaken for silence.
#pragma once
#include "download/downloadowner.h"

namespace tw {

class CStallWatch {
 public:
  // One look at slot 0's flags; true once the run has stalled.
  bool Stalled(const DownloadOwnerFlags& flags);

 private:
  bool m_bSeenWriting = false;
  int m_nQuietLooks = 0;
};

}  // namespace tw
