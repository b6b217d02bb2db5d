// tidewell-sim: the simulated handset on pseudo-terminals in a device
// directory. Runs one upgrade's handset side, then prints its summary.
#include <signal.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/cli/packageimages.h"
#include "sim/cli/simoptions.h"
#include "sim/ptytransport.h"
#include "sim/simhandset.h"
#include "tidewellversion.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// SIGINT and SIGTERM end the run; they are taken synchronously, here.
bool Interrupted(const sigset_t& signals) {
  timespec slice{0, 100 * 1000 * 1000};
  return sigtimedwait(&signals, nullptr, &slice) > 0;
}

}  // namespace

int main(int argc, char** argv) {
  tw::sim::SimOptions options;
  std::string error;
  if (!tw::sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error)) {
    std::fprintf(stderr, "tidewell-sim: %s\n%s", error.c_str(), tw::sim::SimUsage());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(tw::sim::SimUsage(), stdout);
    return kExitOk;
  }
  if (options.version) {
    std::printf("tidewell-sim %s\n", TIDEWELL_VERSION);
    return kExitOk;
  }
  tw::sim::SimImages images;
  if (!options.verifyPackage.empty()) {
    if (!tw::sim::LoadPackageImages(options.verifyPackage, &images, &error)) {
      std::fprintf(stderr, "tidewell-sim: %s\n", error.c_str());
      return kExitUsage;
    }
    if (!options.regionsGiven) {
      options.config.phoneRegions = images.phoneFullSet ? 7 : 2;
    }
  }
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  tw::sim::PtyTransport transport(options.deviceDir, options.config.location);
  tw::sim::SimHandset handset(options.config, transport, tw::DefaultClock());
  if (!options.verifyPackage.empty()) {
    handset.SetExpected(std::move(images));
  }
  if (!options.comAfter.empty()) {
    handset.SetComGate([&transport, &options] { return transport.HasEntry(options.comAfter); });
  }
  if (!handset.Start()) {
    std::fprintf(stderr, "tidewell-sim: cannot announce the handset in %s: %s\n", options.deviceDir.c_str(),
                 transport.LastError().c_str());
    return kExitUsage;
  }
  while (!handset.Ended() && !Interrupted(signals)) {
  }
  handset.Stop();
  if (!options.dumpDir.empty() && !handset.Flash().WriteFiles(options.dumpDir, &error)) {
    std::fprintf(stderr, "tidewell-sim: %s\n", error.c_str());
  }
  tw::sim::SimSummary summary = handset.Summary();
  std::printf("%s\n", summary.ToJson().c_str());
  bool failed = (summary.verified && !summary.verifyPassed) || !summary.violations.empty();
  return failed ? kExitFailed : kExitOk;
}
