// The developer tools in the window: their commands in the developer
// submenu of the system menu, their message boxes and file-open dialog as
// the window's own.
#pragma once
#include <QString>
#include <string>

#include "tools/devtools.h"

namespace tw {

class CTidewellDlg;

// Gives tools the window's message box and file dialog, and adds the
// commands: the three image selections, making and opening a one-file
// image, the merge, and the image description texts.
void AttachDevTools(CTidewellDlg& dlg, CDevTools& tools);

// A file-open filter of the "Name (*.ext)|*.ext|" form as the Qt dialog
// takes it: "Name (*.ext)", with the pattern in lower and upper case too,
// since file names differ by case here.
QString QtFileFilter(const std::string& filter);

// The three description texts as one text, one image after the other.
QString ImageDescriptionsText(const CDevTools& tools);

}  // namespace tw
