#include "cli/simulation.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "firmware/packagewriter.h"
#include "sim/cli/packageimages.h"
#include "sim/ptytransport.h"
#include "sim/simhandset.h"

namespace tw {

namespace {

// Time the handset gets to see the host close its port after the run.
constexpr int kHandsetEndWaitMs = 3000;

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
  m_pHandset.reset();
  m_pTransport.reset();
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
  sim::SimImages images;
  if (!sim::LoadPackageImages(m_strPackage, &images, error)) {
    return false;
  }
  sim::SimConfig config;
  config.phoneRegions = images.phoneFullSet ? 7 : 2;
  m_pTransport = std::make_unique<sim::PtyTransport>(m_strDeviceDir);
  m_pHandset = std::make_unique<sim::SimHandset>(config, *m_pTransport, m_Clock);
  m_pHandset->SetExpected(std::move(images));
  if (!m_pHandset->Start()) {
    *error = "the simulated handset did not start: " + m_pTransport->LastError();
    return false;
  }
  return true;
}

bool CSimulation::Finish(std::FILE* err) {
  if (!m_pHandset) {
    return false;
  }
  m_pHandset->WaitEnd(kHandsetEndWaitMs);
  m_pHandset->Stop();
  sim::SimSummary summary = m_pHandset->Summary();
  std::fprintf(err, "simulated handset: %s\n", summary.ToJson().c_str());
  bool bPassed = summary.verified && summary.verifyPassed && summary.violations.empty();
  std::fprintf(err, "simulated handset verification: %s\n", bPassed ? "passed" : "FAILED");
  std::fflush(err);
  return bPassed;
}

}  // namespace tw
