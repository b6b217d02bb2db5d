#include "ui/recordmenu.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>

#include "ui/tidewelldlg.h"

namespace tw {

namespace {

std::optional<std::string> AskForRecordFile(CTidewellDlg* pDlg, const std::string& current) {
  const QString path = QFileDialog::getSaveFileName(
      pDlg, QObject::tr("Run Record File"), QString::fromStdString(current),
      QObject::tr("JSON Lines (*.jsonl);;All files (*)"), nullptr, QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

}  // namespace

void AttachRecordMenu(CTidewellDlg& dlg, CRunReports& reports, RecordFileChooser choose) {
  CTidewellDlg* pDlg = &dlg;
  if (!choose) {
    choose = [pDlg](const std::string& current) { return AskForRecordFile(pDlg, current); };
  }
  QAction* action = dlg.GetSystemMenu()->addAction(QObject::tr("Run Record File..."));
  QObject::connect(action, &QAction::triggered, pDlg, [&reports, choose = std::move(choose)] {
    if (const std::optional<std::string> path = choose(reports.RecordFile())) reports.SetRecordFile(*path);
  });
}

}  // namespace tw
