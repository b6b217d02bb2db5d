// Saving the main window as a picture, for the documentation and for
// checking the window by eye under a virtual display.
#pragma once
#include <QString>

namespace tw {

class CTidewellDlg;

// The value of "--screenshot FILE" in argv, or empty.
QString ScreenshotOption(int argc, char** argv);

// Runs the dialog modally. With a screenshot path, the dialog is saved as a
// PNG file once it shows and has painted, and then ends as OK. Returns 0, or
// 2 when the screenshot could not be written.
int RunMainDialog(CTidewellDlg& dlg, const QString& screenshotPath);

}  // namespace tw
