#include "ui/runwindow.h"

#include <QApplication>
#include <QTimer>

#include "ui/devtoolsmenu.h"
#include "ui/logicevents.h"
#include "ui/qtmessagequeue.h"
#include "ui/screenshot.h"
#include "ui/tidewelldlg.h"

namespace tw {

int RunWindow(int argc, char** argv, CTidewellDlgLogic::Services services,
              const ImageSelections& selections) {
  QApplication app(argc, argv);
  QtMessageQueue queue;
  CTidewellDlg dlg;
  services.pView = &dlg;
  services.pQueue = &queue;
  CTidewellDlgLogic logic(std::move(services));
  CTidewellDlgLogicEvents events(logic);
  dlg.SetEvents(&events);
  AttachDevTools(dlg, logic.m_DevTools);
  if (!selections.Empty()) {
    // The first event of the dialog's loop: initialisation has run, the
    // device events it registered are queued behind it.
    QTimer::singleShot(0, &dlg, [&dlg, &logic, &selections] {
      const std::string refused = ApplyImageSelections(selections, logic.m_DevTools);
      if (!refused.empty()) {
        dlg.MessageBox(refused, kAppName, MessageIcon::Exclamation);
      }
    });
  }

  return RunMainDialog(dlg, ScreenshotOption(argc, argv));
}

}  // namespace tw
