// The run record in the window: a system-menu item that chooses the file
// each finished run is appended to (or none).
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "report/runreports.h"

namespace tw {

class CTidewellDlg;

// Asks for a record file, given the current one (empty: none). nullopt when
// the user cancelled; an empty path turns the record off.
using RecordFileChooser = std::function<std::optional<std::string>(const std::string& current)>;

// Adds "Run Record File..." to the window's system menu. Without a chooser,
// a file dialog asks (an existing file is appended to, never replaced).
void AttachRecordMenu(CTidewellDlg& dlg, CRunReports& reports, RecordFileChooser choose = {});

}  // namespace tw
