// The window's entry: what the `tidewell` program calls when it has a
// display. It makes the Qt application, the main dialog and its logic, runs
// the dialog modally and returns the process's exit status.
#pragma once
#include "app/tidewelldlglogic.h"
#include "report/runreports.h"
#include "tools/imageselections.h"

namespace tw {

// Runs the upgrader's window. services gives the clock, devices, device
// events, downloader factory and package path; the view and the message
// queue are the window's own and are filled in here. Options of its own in
// argv: "--screenshot FILE" saves the window as a PNG picture once it shows
// and then closes it. Returns 0, or 2 when the screenshot could not be saved.
// selections: images chosen from files at the end of dialog
// initialisation, before the first device is handled; a refused one shows
// a message box.
// reports: the events and record writers (--events, --record); the
// system menu chooses the record file.
int RunWindow(int argc, char** argv, CTidewellDlgLogic::Services services,
              const ImageSelections& selections = {}, CRunReports* reports = nullptr);

}  // namespace tw
