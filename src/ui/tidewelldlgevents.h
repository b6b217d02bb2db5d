// What the main window hands on to the dialog's logic: its initialisation,
// the two button commands and the ways it closes. The logic reaches the
// window back through ITidewellView.
#pragma once
#include "download/downloadowner.h"
#include "platform/wintypes.h"

namespace tw {

class ITidewellDlgEvents {
 public:
  virtual ~ITidewellDlgEvents() = default;

  // After the window's own initialisation, before it first shows.
  virtual BOOL OnInitDialog() = 0;
  // BN_CLICKED of the Start button (1068) and of the hidden button (1015).
  virtual void OnStart() = 0;
  virtual void OnStartDownload() = 0;
  // WM_CLOSE. TRUE when the logic closed and ended the dialog; FALSE when
  // the close waits (it ends the dialog itself later).
  virtual BOOL OnClose() = 0;
  // After the modal loop has ended, outside every handler: the window's
  // destruction and WM_DESTROY.
  virtual void DestroyWindow() = 0;
  virtual void OnDestroy() = 0;
  // The shared flags, for the NAND option pair.
  virtual DownloadOwnerFlags& OwnerFlags() = 0;
};

}  // namespace tw
