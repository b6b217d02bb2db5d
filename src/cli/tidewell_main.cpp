// tidewell: the upgrader. With a display it opens its window; with
// --headless, or without a display, it runs the same upgrade on the
// terminal (see FrontUsage).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/frontoptions.h"
#include "cli/frontsetup.h"
#include "cli/headlessrun.h"
#include "cli/headlessview.h"
#include "platform/olderupgrader.h"
#include "report/consoleecho.h"
#include "tidewellversion.h"

#if defined(TIDEWELL_WITH_WINDOW)
#include "ui/runwindow.h"
#endif

namespace {

// The title of an older upgrader's window, which start-up ends.
constexpr const char* kOlderUpgraderTitle = "KORV-352 Upgrader";

#if defined(TIDEWELL_WITH_WINDOW)
// The window over the same devices, package and simulated handset.
int RunWindowFront(const tw::FrontOptions& options, int argc, char** argv) {
  tw::CFrontSetup setup;
  std::string error;
  if (!setup.Prepare(options, &error) || !setup.StartSimulation(&error)) {
    std::fprintf(stderr, "tidewell: %s\n", error.c_str());
    return tw::kExitUsage;
  }
  // The window's events and records; write failures are said on stderr.
  tw::CRunReports reports(options.reports, stdout, [](const std::string& message) {
    std::fprintf(stderr, "tidewell: %s\n", message.c_str());
  });
  reports.AllowRecordChoice();
  tw::CConsoleEcho console(stdout);
  reports.Add(&console);
  if (!reports.Open(&error)) {
    std::fprintf(stderr, "tidewell: %s\n", error.c_str());
    return tw::kExitUsage;
  }
  int status = tw::RunWindow(argc, argv, setup.Services(), options.selections, &reports);
  setup.FinishSimulation(stderr);
  return status;
}
#endif

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // 1. The options.
  tw::FrontOptions options;
  std::string error;
  if (!tw::ParseFrontOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "tidewell: %s\n%s", error.c_str(), tw::FrontUsage());
    return tw::kExitUsage;
  }
  if (options.bHelp) {
    std::fputs(tw::FrontUsage(), stdout);
    return tw::kExitSuccess;
  }
  if (options.bVersion) {
    std::printf("tidewell %s\n", TIDEWELL_VERSION);
    return tw::kExitSuccess;
  }

  // 2. The application object's start: an older upgrader's window ends.
  tw::EndOlderUpgrader(kOlderUpgraderTitle);

  // 3. The window when there is a display to show it on, else the terminal.
#if defined(TIDEWELL_WITH_WINDOW)
  if (!options.bHeadless && HasDisplay()) {
    return RunWindowFront(options, argc, argv);
  }
#else
  (void)HasDisplay;
#endif
  // Headless, a device directory that cannot be watched ends the run at once.
  if (!options.strDeviceDir.empty() && !tw::CFrontSetup::DeviceDirUsable(options.strDeviceDir, &error)) {
    std::fprintf(stderr, "tidewell: %s\n", error.c_str());
    return tw::kExitUsage;
  }
  return tw::RunHeadless(options);
}
