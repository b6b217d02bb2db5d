// Helpers of the window's tests. The test programs run on Qt's offscreen
// platform unless QT_QPA_PLATFORM says otherwise.
#pragma once
#include <QColor>
#include <QImage>
#include <QWidget>
#include <functional>

#include "ui/colorref.h"
#include "ui/dialog.h"

namespace tw {
class CTidewellDlg;
}

namespace tw::test {

// The widget as it paints now, one image pixel per widget pixel.
QImage Grab(QWidget& widget);

COLORREF PixelAt(const QImage& image, int x, int y);

// Shows the widget and waits until the platform has exposed it.
void ShowAndExpose(QWidget& widget);

// Runs dialog.DoModal(); `action` runs once the dialog shows. A dialog that
// the action leaves open is ended after the events the action queued have
// run, so a failing test ends instead of hanging.
struct ModalRun {
  int result = 0;         // what DoModal returned
  bool leftOpen = false;  // the action did not end the dialog
};
ModalRun RunModal(CDialog& dialog, std::function<void()> action);

// Runs the queued events, then the event loop until the dialog's log box,
// progress bar and slot rows show every report made so far (their updates
// are paced to one per frame).
void ShowReports(CTidewellDlg& dlg);

// The dialog that is running modally now (a nested one), or null.
QWidget* ActiveModal();

}  // namespace tw::test
