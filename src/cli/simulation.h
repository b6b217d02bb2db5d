// tidewell --simulate: the simulated handset in this process, over
// pseudo-terminals announced in a private temporary device directory, with
// a generated package when none is given. With --slots N, N handsets share
// the directory, handset k (from 1) at location "1-k" with COM port 6 + k;
// their modem ports arrive in the reverse order of their PDA interfaces (a
// port waits at most 10 s for the next handset's).
#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/frontoptions.h"
#include "platform/clock.h"

namespace tw {

namespace sim {
class PtyTransport;
class SimHandset;
}  // namespace sim

// Image sizes of the generated package: a quick run by default, the
// released build's sizes on request.
struct GeneratedSizes {
  std::uint32_t eboot;
  std::uint32_t pda;
  std::uint32_t phone;
};
inline constexpr GeneratedSizes kQuickSizes{256 * 1024, 2 * 1024 * 1024, 4 * 1024 * 1024};
inline constexpr GeneratedSizes kReleasedSizes{1126400, 63822351, 14524912};

// Writes a package of generated images (different pseudo-random bytes for
// each image) as dir/package, behind a small stand-in for the executable.
// False with the reason in *error.
bool WriteGeneratedPackage(const std::string& dir, const GeneratedSizes& sizes, bool bPhoneFullSet,
                           std::string* package, std::string* error);

class CSimulation {
 public:
  CSimulation();
  ~CSimulation();  // stops the handset and removes the directory
  CSimulation(const CSimulation&) = delete;
  CSimulation& operator=(const CSimulation&) = delete;

  // Makes the private directory and, without --package, a package of
  // generated images in it. False with the reason in *error.
  bool Prepare(const FrontOptions& options, std::string* error);
  const std::string& DeviceDir() const { return m_strDeviceDir; }
  const std::string& PackagePath() const { return m_strPackage; }

  // Switches the handsets on, one after the other: their PDA interfaces
  // arrive in the directory.
  bool Start(std::string* error);
  // Ends the handsets' runs, writes each one's findings and then the
  // verification to err; true when every handset received every image as
  // the package has it.
  bool Finish(std::FILE* err);

 private:
  void StopHandsets();

  std::string m_strRoot;
  std::string m_strDeviceDir;
  std::string m_strPackage;
  int m_nHandsets = 1;
  RealClock m_Clock;
  // Handset k's transport and handset at index k - 1.
  std::vector<std::unique_ptr<sim::PtyTransport>> m_Transports;
  std::vector<std::unique_ptr<sim::SimHandset>> m_Handsets;
};

}  // namespace tw
