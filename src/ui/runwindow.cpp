#include "ui/runwindow.h"

#include <QApplication>

#include "ui/devtoolsmenu.h"
#include "ui/initthenevents.h"
#include "ui/logicevents.h"
#include "ui/qtmessagequeue.h"
#include "ui/recordmenu.h"
#include "ui/screenshot.h"
#include "ui/tidewelldlg.h"

namespace tw {

int RunWindow(int argc, char** argv, CTidewellDlgLogic::Services services, const ImageSelections& selections,
              CRunReports* reports) {
  QApplication app(argc, argv);
  QtMessageQueue queue;
  CTidewellDlg dlg;
  services.pView = &dlg;
  services.pQueue = &queue;
  if (reports != nullptr) services.pObserver = reports->Observer();
  const std::string packagePath = services.strPackagePath;
  CTidewellDlgLogic logic(std::move(services));
  if (reports != nullptr) {
    reports->AttachImages(logic.m_Images, packagePath);
    AttachRecordMenu(dlg, *reports);
  }
  CTidewellDlgLogicEvents logicEvents(logic);
  // The selections of the command line once the package is loaded.
  CInitThenEvents events(logicEvents, [&dlg, &logic, &selections] {
    const std::string refused = ApplyImageSelections(selections, logic.m_DevTools);
    if (!refused.empty()) {
      dlg.MessageBox(refused, kAppName, MessageIcon::Exclamation);
    }
  });
  dlg.SetEvents(&events);
  AttachDevTools(dlg, logic.m_DevTools);

  return RunMainDialog(dlg, ScreenshotOption(argc, argv));
}

}  // namespace tw
