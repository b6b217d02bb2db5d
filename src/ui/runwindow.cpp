#include "ui/runwindow.h"

#include <QApplication>

#include "report/observerlist.h"
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
  CTidewellDlg dlg(services.nSlots);
  services.pView = &dlg;
  services.pQueue = &queue;
  // The runs report to the writers and to the window's slot rows.
  CObserverList observers;
  observers.Add(reports != nullptr ? reports->Observer() : services.pObserver);
  observers.Add(dlg.RunObserver());
  services.pObserver = &observers;
  if (services.pClock != nullptr) dlg.SetRunClock(*services.pClock);
  const std::string packagePath = services.strPackagePath;
  CTidewellDlgLogic logic(std::move(services));
  dlg.SetLocationSource([&logic](int nSlot) { return logic.m_strLocation[static_cast<std::size_t>(nSlot)]; });
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
