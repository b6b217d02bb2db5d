#include "uitest.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "ui/tidewelldlg.h"

namespace tw::test {

QImage Grab(QWidget& widget) {
  QPixmap pixmap = widget.grab();
  pixmap.setDevicePixelRatio(1.0);
  return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}

COLORREF PixelAt(const QImage& image, int x, int y) {
  return FromQColor(image.pixelColor(x, y));
}

void ShowAndExpose(QWidget& widget) {
  widget.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
}

ModalRun RunModal(CDialog& dialog, std::function<void()> action) {
  // A check left queued by an earlier run must not end this one.
  static int s_nRuns = 0;
  const int nRun = ++s_nRuns;
  ModalRun run;
  QTimer::singleShot(0, &dialog, [&dialog, &run, nRun, action = std::move(action)] {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    action();
    // Still open: end it once everything the action queued has run.
    QTimer::singleShot(0, &dialog, [&dialog, &run, nRun] {
      if (nRun != s_nRuns || !dialog.isVisible()) return;
      run.leftOpen = true;
      dialog.done(QDialog::Rejected);
    });
  });
  run.result = dialog.DoModal();
  return run;
}

QWidget* ActiveModal() {
  return QApplication::activeModalWidget();
}

void ShowReports(CTidewellDlg& dlg) {
  // Messages the window posts to itself may make reports of their own.
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.ReportsShown(); }, 5000))
      << "the reports reached the controls";
  QCoreApplication::processEvents();
}

}  // namespace tw::test

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
