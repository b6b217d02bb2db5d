#include "ui/devtoolsmenu.h"

#include <QFileDialog>
#include <QStringList>

#include "app/tidewelldlglogic.h"
#include "ui/tidewelldlg.h"

namespace tw {

QString QtFileFilter(const std::string& filter) {
  const QStringList fields = QString::fromStdString(filter).split(QLatin1Char('|'));
  if (fields.size() < 2) {
    return QString::fromStdString(filter);
  }
  QString name = fields[0];
  const int open = name.indexOf(QLatin1Char('('));
  if (open > 0) {
    name = name.left(open).trimmed();
  }
  QStringList patterns;
  for (const QString& pattern : {fields[1], fields[1].toLower(), fields[1].toUpper()}) {
    if (!patterns.contains(pattern)) {
      patterns << pattern;
    }
  }
  return name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString ImageDescriptionsText(const CDevTools& tools) {
  const char* kinds[kPartCount] = {"EBOOT", "PDA", "PHONE"};
  QString text;
  for (int part = 0; part < kPartCount; ++part) {
    QString desc = QString::fromStdString(tools.m_strImageDesc[part]).replace(QStringLiteral("\r\n"), "\n");
    text += QString::fromLatin1(kinds[part]) + QStringLiteral(":\n") +
            (desc.isEmpty() ? QStringLiteral("(none)\n") : desc) + QLatin1Char('\n');
  }
  return text.trimmed();
}

void AttachDevTools(CTidewellDlg& dlg, CDevTools& tools) {
  // 1. The window's message box and file dialog.
  CTidewellDlg* pDlg = &dlg;
  tools.SetCallbacks(ToolCallbacks{
      [pDlg](const std::string& text) { pDlg->MessageBox(text, kAppName, MessageIcon::None); },
      [pDlg](const std::string& filter, DWORD) -> std::optional<std::string> {
        const QString path = QFileDialog::getOpenFileName(pDlg, QString(), QString(), QtFileFilter(filter));
        if (path.isEmpty()) {
          return std::nullopt;
        }
        return path.toStdString();
      }});
  // 2. The commands, after the NAND item.
  CDevTools* pTools = &tools;
  dlg.AddDeveloperCommand(QObject::tr("Open EBOOT Image..."), [pTools] { pTools->OpenEbootFile(); });
  dlg.AddDeveloperCommand(QObject::tr("Open PDA Image..."), [pTools] { pTools->OpenPdaFile(); });
  dlg.AddDeveloperCommand(QObject::tr("Open Phone Image..."), [pTools] { pTools->OpenPhoneFile(); });
  dlg.AddDeveloperCommand(QObject::tr("Make One-File Image"), [pTools] { pTools->MakeOneFileImage(); });
  dlg.AddDeveloperCommand(QObject::tr("Open One-File Image..."), [pTools] { pTools->OpenOneFileImage(); });
  dlg.AddDeveloperCommand(QObject::tr("Merge Images"), [pTools] { pTools->MergeImages(); });
  dlg.AddDeveloperCommand(QObject::tr("Image Descriptions..."), [pDlg, pTools] {
    pDlg->MessageBox(ImageDescriptionsText(*pTools).toStdString(), kAppName, MessageIcon::None);
  });
}

}  // namespace tw
