#include "cli/headlessrun.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/tidewelldlglogic.h"
#include "cli/headlessview.h"
#include "cli/simulation.h"
#include "pda/pdaguid.h"
#include "platform/devicedirsource.h"
#include "platform/linuxdeviceprovider.h"
#include "platform/messageloop.h"
#include "platform/porttable.h"
#include "platform/ttyinterfacebackend.h"

namespace tw {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How often the loop looks for a run that ended without its end message.
constexpr auto kStallCheck = std::chrono::milliseconds(250);
// --simulate without --timeout: a run that has not ended by then has hung.
constexpr int kSimulateTimeoutSeconds = 900;

// The devices of a device directory: pda* entries are the download
// interface, COM<n> entries the serial ports.
struct DeviceDirSetup {
  explicit DeviceDirSetup(const std::string& dir) : ports(dir), provider(ports), events(dir) {
    provider.AddInterfaceBackend(GUID_PDA_DOWNLOAD_INTERFACE, std::make_unique<CTtyInterfaceBackend>(dir));
  }
  CPortTable ports;
  CLinuxDeviceProvider provider;
  CDeviceDirSource events;
};

// A worker ended without WM_DOWNLOAD_DONE and without handing over to the
// phone: a download was started, a worker was writing (m_bRundnload seen
// set), and now nothing writes, no phone stage is pending and no end message
// came. Seen on two checks in a row, so an end message on its way is not
// mistaken for silence.
class StallWatch {
 public:
  bool Stalled(CTidewellDlgLogic& logic) {
    if (logic.m_bDownStart == 0) {
      m_bSeenWriting = false;
      m_nQuietChecks = 0;
      return false;
    }
    if (logic.m_bRundnload == 1) {
      m_bSeenWriting = true;
      m_nQuietChecks = 0;
      return false;
    }
    bool bQuiet = m_bSeenWriting && logic.m_bPhoneStage[0] == 0;
    m_nQuietChecks = bQuiet ? m_nQuietChecks + 1 : 0;
    return m_nQuietChecks >= 2;
  }

 private:
  bool m_bSeenWriting = false;
  int m_nQuietChecks = 0;
};

// Runs the loop until the run ends, the deadline passes or a stall shows.
int RunUntilEnd(CMessageLoop& loop, CTidewellDlgLogic& logic,
                std::optional<SteadyClock::time_point> deadline) {
  StallWatch watch;
  for (;;) {
    SteadyClock::time_point slice = SteadyClock::now() + kStallCheck;
    if (deadline && *deadline < slice) {
      slice = *deadline;
    }
    if (std::optional<int> code = loop.Run(slice)) {
      return *code;
    }
    if (deadline && SteadyClock::now() >= *deadline) {
      std::fprintf(stderr, "tidewell: the run did not end in time\n");
      return kExitRunFailed;
    }
    if (watch.Stalled(logic)) {
      std::fprintf(stderr, "tidewell: the download stopped without ending its run\n");
      return kExitRunFailed;
    }
  }
}

}  // namespace

int RunHeadless(const FrontOptions& options) {
  // 1. The deadline counts from start-up.
  std::optional<SteadyClock::time_point> deadline;
  int timeoutSeconds = options.nTimeoutSeconds.value_or(options.bSimulate ? kSimulateTimeoutSeconds : 0);
  if (timeoutSeconds > 0) {
    deadline = SteadyClock::now() + std::chrono::seconds(timeoutSeconds);
  }

  // 2. Where devices and the firmware set come from.
  std::unique_ptr<CSimulation> simulation;
  std::string deviceDir = options.strDeviceDir;
  std::string package = options.strPackage;
  if (options.bSimulate) {
    simulation = std::make_unique<CSimulation>();
    std::string error;
    if (!simulation->Prepare(options, &error)) {
      std::fprintf(stderr, "tidewell: %s\n", error.c_str());
      return kExitUsage;
    }
    deviceDir = simulation->DeviceDir();
    package = simulation->PackagePath();
  }
  if (deviceDir.empty()) {
    std::fprintf(stderr, "tidewell: give --device-dir DIR (system device events are not available)\n");
    return kExitUsage;
  }
  DeviceDirSetup devices(deviceDir);

  // 3. The dialog's logic on this thread's loop.
  CMessageLoop loop;
  CHeadlessView view(loop, stdout, stderr, isatty(STDERR_FILENO) != 0);
  CTidewellDlgLogic::Services services;
  services.pView = &view;
  services.pQueue = &loop;
  services.pClock = &DefaultClock();
  services.pDevices = &devices.provider;
  services.pEvents = &devices.events;
  services.strPackagePath = package.empty() ? std::string(CImageSet::kOwnExecutable) : package;
  CTidewellDlgLogic logic(std::move(services));
  view.SetStartHandler([&logic] { logic.OnStart(); });
  view.SetPhoneImage([&logic] { return logic.m_bDownPhone != 0; });

  // 4. Initialise; without a complete image set there is nothing to wait for.
  logic.OnInitDialog();
  if (!logic.m_Images.m_bImageLoaded) {
    std::fprintf(stderr, "tidewell: no complete image set in %s\n",
                 package.empty() ? "this executable" : package.c_str());
    return kExitUsage;
  }

  // 5. The simulated handset switches on.
  if (simulation) {
    std::string error;
    if (!simulation->Start(&error)) {
      std::fprintf(stderr, "tidewell: %s\n", error.c_str());
      return kExitUsage;
    }
  }

  // 6. Run until the run ends, then close as the window would.
  int status = RunUntilEnd(loop, logic, deadline);
  view.FinishProgress();
  logic.OnClose();
  logic.DestroyWindow();
  logic.OnDestroy();

  // 7. The simulated handset's verification.
  if (simulation && !simulation->Finish(stderr) && status == kExitSuccess) {
    status = kExitRunFailed;
  }
  return status;
}

}  // namespace tw
