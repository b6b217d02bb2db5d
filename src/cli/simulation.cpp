#include "cli/simulation.h"

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "firmware/packagewriter.h"
#include "sim/cli/packageimages.h"
#include "sim/ptytransport.h"
#include "sim/simhandset.h"

namespace tw {

namespace {

// Time the handsets get to see the host close their ports after the run.
constexpr int kHandsetEndWaitMs = 3000;
// The first handset's COM port; the others' follow it.
constexpr int kFirstComPort = 7;
// The longest a modem port waits for the next handset's.
constexpr auto kPortOrderBound = std::chrono::seconds(10);

// Opens once the next handset's modem port is there or that handset's run
// has ended, or kPortOrderBound after it was first asked: a handset that
// never reaches phone mode holds the others back only that long.
class CAfterNextPort {
 public:
  CAfterNextPort(const sim::PtyTransport& next, const sim::SimHandset& nextHandset, std::string nextPort)
      : m_pNext(&next), m_pNextHandset(&nextHandset), m_strNextPort(std::move(nextPort)) {}

  bool operator()() {
    const auto now = std::chrono::steady_clock::now();
    if (!m_firstAsked) {
      m_firstAsked = now;
    }
    return m_pNext->HasEntry(m_strNextPort) || m_pNextHandset->Ended() ||
           now - *m_firstAsked >= kPortOrderBound;
  }

 private:
  const sim::PtyTransport* m_pNext;
  const sim::SimHandset* m_pNextHandset;
  std::string m_strNextPort;
  std::optional<std::chrono::steady_clock::time_point> m_firstAsked;
};

// A file of n pseudo-random bytes, different for each seed.
bool WriteGeneratedImage(const std::string& path, std::uint32_t n, std::uint32_t seed, std::string* error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  std::vector<char> chunk(64 * 1024);
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::uint32_t done = 0; file && done < n;) {
    std::size_t count = std::min<std::size_t>(chunk.size(), n - done);
    for (std::size_t i = 0; i < count; ++i) {
      state = state * 1664525u + 1013904223u;
      chunk[i] = static_cast<char>(state >> 24);
    }
    file.write(chunk.data(), static_cast<std::streamsize>(count));
    done += static_cast<std::uint32_t>(count);
  }
  if (!file.flush()) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

bool WriteGeneratedPackage(const std::string& dir, const GeneratedSizes& sizes, bool bPhoneFullSet,
                           std::string* package, std::string* error) {
  PackRequest request;
  request.upgrader = dir + "/upgrader";
  request.eboot = dir + "/eboot.nb0";
  request.pda = dir + "/pda.bin";
  request.phone = dir + "/phone.bin";
  request.output = dir + "/package";
  request.phoneFullSet = bPhoneFullSet ? 1 : 0;
  bool bPacked = WriteGeneratedImage(request.upgrader, 4096, 0, error) &&
                 WriteGeneratedImage(request.eboot, sizes.eboot, 1, error) &&
                 WriteGeneratedImage(request.pda, sizes.pda, 2, error) &&
                 WriteGeneratedImage(request.phone, sizes.phone, 3, error);
  sImageHeader written{};
  bPacked = bPacked && WritePackage(request, &written, error);
  for (const std::string& file : {request.upgrader, request.eboot, request.pda, request.phone}) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
  *package = request.output;
  return bPacked;
}

CSimulation::CSimulation() = default;

CSimulation::~CSimulation() {
  StopHandsets();
  m_Handsets.clear();
  m_Transports.clear();
  if (!m_strRoot.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(m_strRoot, ignored);
  }
}

bool CSimulation::Prepare(const FrontOptions& options, std::string* error) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tidewell-sim-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot make a temporary directory";
    return false;
  }
  m_strRoot = pattern;
  m_nHandsets = std::max(options.nSlots, 1);
  m_strDeviceDir = m_strRoot + "/dev";
  std::error_code failed;
  if (!std::filesystem::create_directory(m_strDeviceDir, failed)) {
    *error = "cannot make " + m_strDeviceDir;
    return false;
  }
  if (!options.strPackage.empty()) {
    m_strPackage = options.strPackage;
    return true;
  }
  return WriteGeneratedPackage(m_strRoot, options.bReleasedSizes ? kReleasedSizes : kQuickSizes, true,
                               &m_strPackage, error);
}

bool CSimulation::Start(std::string* error) {
  auto images = std::make_shared<sim::SimImages>();
  if (!sim::LoadPackageImages(m_strPackage, images.get(), error)) {
    return false;
  }
  // 1. Each handset with its own location and COM port; a single one as
  //    always, without a location.
  for (int k = 1; k <= m_nHandsets; ++k) {
    sim::SimConfig config;
    config.phoneRegions = images->phoneFullSet ? 7 : 2;
    config.comPort = kFirstComPort + k - 1;
    config.location = m_nHandsets == 1 ? "" : "1-" + std::to_string(k);
    m_Transports.push_back(std::make_unique<sim::PtyTransport>(m_strDeviceDir, config.location));
    m_Handsets.push_back(std::make_unique<sim::SimHandset>(config, *m_Transports.back(), m_Clock));
    m_Handsets.back()->SetExpected(images);
  }
  // 2. A modem port arrives only after the next handset's: the ports come
  //    in the reverse order of the PDA interfaces, so only their locations
  //    pair them with their slots.
  for (std::size_t i = 0; i + 1 < m_Handsets.size(); ++i) {
    const sim::PtyTransport& next = *m_Transports[i + 1];
    m_Handsets[i]->SetComGate(
        CAfterNextPort(next, *m_Handsets[i + 1], next.ComEntry(kFirstComPort + static_cast<int>(i) + 1)));
  }
  // 3. Switched on in order: the PDA interfaces arrive as handset 1, 2, ...
  for (std::size_t i = 0; i < m_Handsets.size(); ++i) {
    if (!m_Handsets[i]->Start()) {
      *error = "the simulated handset did not start: " + m_Transports[i]->LastError();
      return false;
    }
  }
  return true;
}

void CSimulation::StopHandsets() {
  // Every thread is joined before any handset goes: a gate asks the next one.
  for (const auto& handset : m_Handsets) {
    handset->Stop();
  }
}

bool CSimulation::Finish(std::FILE* err) {
  if (m_Handsets.empty()) {
    return false;
  }
  // 1. One shared bound for the handsets to see their ports closed.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHandsetEndWaitMs);
  for (const auto& handset : m_Handsets) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    handset->WaitEnd(static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
  }
  StopHandsets();
  // 2. Each handset's findings, then the verdict over all of them.
  std::string failed;
  for (std::size_t i = 0; i < m_Handsets.size(); ++i) {
    sim::SimSummary summary = m_Handsets[i]->Summary();
    const std::string name =
        m_nHandsets == 1 ? "simulated handset" : "simulated handset " + std::to_string(i + 1);
    std::fprintf(err, "%s: %s\n", name.c_str(), summary.ToJson().c_str());
    if (!(summary.verified && summary.verifyPassed && summary.violations.empty())) {
      failed += (failed.empty() ? "" : ", ") + std::to_string(i + 1);
    }
  }
  if (failed.empty()) {
    std::fprintf(err, "simulated handset verification: passed\n");
  } else if (m_nHandsets == 1) {
    std::fprintf(err, "simulated handset verification: FAILED\n");
  } else {
    std::fprintf(err, "simulated handset verification: FAILED (handset %s)\n", failed.c_str());
  }
  std::fflush(err);
  return failed.empty();
}

}  // namespace tw
