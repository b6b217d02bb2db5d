#include "cli/headlessrun.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "app/tidewelldlglogic.h"
#include "cli/frontsetup.h"
#include "cli/headlessview.h"
#include "cli/stationtally.h"
#include "platform/console.h"
#include "platform/messageloop.h"
#include "report/runreports.h"
#include "tools/imageselections.h"

namespace tw {

namespace {

using SteadyClock = std::chrono::steady_clock;

// --simulate without --timeout: a run that has not ended by then has hung.
constexpr int kSimulateTimeoutSeconds = 900;

// The loop's end for a station (a signal or its count): the runs' outcomes
// give the exit status.
constexpr int kExitStationStop = -1;

// Runs the loop until the run's end event (or an interrupt) ends it, or the
// deadline passes.
int RunUntilEnd(CMessageLoop& loop, std::optional<SteadyClock::time_point> deadline) {
  if (std::optional<int> code = loop.Run(deadline)) {
    return *code;
  }
  std::fprintf(stderr, "tidewell: the run did not end in time\n");
  return kExitRunFailed;
}

}  // namespace

int RunHeadless(const FrontOptions& options) {
  // 1. The deadline counts from start-up.
  std::optional<SteadyClock::time_point> deadline;
  int timeoutSeconds = options.nTimeoutSeconds.value_or(options.bSimulate ? kSimulateTimeoutSeconds : 0);
  if (timeoutSeconds > 0) {
    deadline = SteadyClock::now() + std::chrono::seconds(timeoutSeconds);
  }

  // 2. Where devices and the firmware set come from; interrupts end the
  // loop once it runs.
  // An interrupt ends the run like a failure, so that the close still joins
  // the workers and a simulation still removes its directory.
  // A station ends on a signal: the close stops its runs, and its status
  // comes from the runs it served.
  CMessageLoop loop;
  CInterruptWatch interrupts([&loop, &options] {
    std::fprintf(stderr, options.bStation ? "tidewell: stopping the station\n" : "tidewell: interrupted\n");
    loop.Quit(options.bStation ? kExitStationStop : kExitRunFailed);
  });
  CFrontSetup setup;
  std::string error;
  if (!setup.Prepare(options, &error)) {
    std::fprintf(stderr, "tidewell: %s\n", error.c_str());
    return kExitUsage;
  }

  // 3. The reports' writers, then the dialog's logic on this thread's loop.
  // With the events on stdout, the log lines go to stderr.
  CLogStream log;
  CRunReports reports(options.reports, log.File(), [](const std::string& message) {
    std::fprintf(stderr, "tidewell: %s\n", message.c_str());
  });
  if (!reports.Open(&error)) {
    std::fprintf(stderr, "tidewell: %s\n", error.c_str());
    return kExitUsage;
  }
  const bool bEventsOnStdout = options.reports.strEvents == "-";
  const HeadlessPolicy policy{options.nSlots, options.bStation, options.bStrict};
  CHeadlessView view(loop, bEventsOnStdout ? stderr : log.File(), stderr, IsTerminal(stderr), policy);
  reports.Add(&view);
  // The station's runs; --count of them end it.
  CStationTally tally(options.bStrict, [&loop, &options](int nEnded) {
    if (options.bStation && options.nCount && nEnded == *options.nCount) loop.Quit(kExitStationStop);
  });
  reports.Add(&tally);
  CTidewellDlgLogic::Services services = setup.Services();
  services.pView = &view;
  services.bAutoStart = true;
  services.pQueue = &loop;
  services.pObserver = reports.Observer();
  CTidewellDlgLogic logic(std::move(services));
  reports.AttachImages(logic.m_Images, setup.Services().strPackagePath);
  view.SetStartHandler([&logic] { logic.OnStart(); });

  // 4. Initialise; without a complete image set there is nothing to wait for.
  logic.OnInitDialog();
  // The images chosen on the command line replace the package's.
  const std::string refused = ApplyImageSelections(options.selections, logic.m_DevTools);
  if (!refused.empty()) {
    std::fprintf(stderr, "tidewell: %s\n", refused.c_str());
    return kExitUsage;
  }
  if (!logic.m_Images.m_bImageLoaded) {
    const std::string& why = logic.m_Images.m_strLoadError;
    std::fprintf(stderr, "tidewell: no complete image set in %s%s%s\n", setup.PackageName().c_str(),
                 why.empty() ? "" : ": ", why.c_str());
    return kExitUsage;
  }

  // 5. The simulated handset switches on.
  if (!setup.StartSimulation(&error)) {
    std::fprintf(stderr, "tidewell: %s\n", error.c_str());
    return kExitUsage;
  }

  // 6. Say what is awaited, run until the run ends, then close. The close
  // stops and joins every downloader's workers, so the window's grace before
  // it deletes them (DestroyWindow) has nothing to wait for here.
  if (!options.bSimulate) {
    std::fprintf(stderr, "tidewell: waiting for a handset in reflashing mode %s\n",
                 setup.DeviceSourceName().c_str());
  }
  int status = RunUntilEnd(loop, deadline);
  view.FinishProgress();
  logic.OnClose();
  logic.OnDestroy();
  if (options.bStation) {
    for (const std::string& line : tally.SummaryLines()) {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
    if (status == kExitStationStop) status = tally.ExitStatus();
  }

  // 7. The simulated handset's verification.
  if (!setup.FinishSimulation(stderr) && status == kExitSuccess) {
    status = kExitRunFailed;
  }
  return status;
}

}  // namespace tw
