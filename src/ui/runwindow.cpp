#include "ui/runwindow.h"

#include <QApplication>

#include "ui/devtoolsmenu.h"
#include "ui/logicevents.h"
#include "ui/qtmessagequeue.h"
#include "ui/screenshot.h"
#include "ui/tidewelldlg.h"

namespace tw {

int RunWindow(int argc, char** argv, CTidewellDlgLogic::Services services) {
  QApplication app(argc, argv);
  QtMessageQueue queue;
  CTidewellDlg dlg;
  services.pView = &dlg;
  services.pQueue = &queue;
  CTidewellDlgLogic logic(std::move(services));
  CTidewellDlgLogicEvents events(logic);
  dlg.SetEvents(&events);
  AttachDevTools(dlg, logic.m_DevTools);

  return RunMainDialog(dlg, ScreenshotOption(argc, argv));
}

}  // namespace tw
