// A build without the simulated handset (Windows: it runs on pseudo-terminals,
// so it is a Linux program): --simulate is refused with a clear message.
#include "cli/simulation.h"

namespace tw {

// The handset's parts never exist in this build; the owning pointers stay empty.
namespace sim {
class PtyTransport {};
class SimHandset {};
}  // namespace sim

namespace {

constexpr const char* kNoSimulation =
    "--simulate: this build has no simulated handset (it runs on Linux); use a handset, or the Linux build";

}  // namespace

bool WriteGeneratedPackage(const std::string&, const GeneratedSizes&, bool, std::string*,
                           std::string* error) {
  *error = kNoSimulation;
  return false;
}

CSimulation::CSimulation() = default;
CSimulation::~CSimulation() = default;

bool CSimulation::Prepare(const FrontOptions&, std::string* error) {
  *error = kNoSimulation;
  return false;
}

bool CSimulation::Start(std::string* error) {
  *error = kNoSimulation;
  return false;
}

bool CSimulation::Finish(std::FILE*) {
  return false;
}

}  // namespace tw
