#include "ui/screenshot.h"

#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "ui/tidewelldlg.h"

namespace tw {

namespace {

constexpr int kSettleMs = 500;  // lets queued reports reach the controls first

}  // namespace

QString ScreenshotOption(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0) return QString::fromLocal8Bit(argv[i + 1]);
  }
  return {};
}

int RunMainDialog(CTidewellDlg& dlg, const QString& screenshotPath) {
  bool saved = false;
  if (!screenshotPath.isEmpty()) {
    QTimer::singleShot(kSettleMs, &dlg, [&dlg, &saved, screenshotPath] {
      saved = dlg.grab().save(screenshotPath, "PNG");
      if (!saved)
        std::fprintf(stderr, "cannot write the screenshot %s\n", screenshotPath.toLocal8Bit().constData());
      dlg.EndDialog(CDialog::IDOK);
    });
  }
  dlg.DoModal();
  return (screenshotPath.isEmpty() || saved) ? 0 : 2;
}

}  // namespace tw
