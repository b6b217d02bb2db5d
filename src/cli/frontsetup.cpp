#include "cli/frontsetup.h"

#include "firmware/imageset.h"
#include "pda/pdaguid.h"
#include "platform/clock.h"
#include "platform/ownexecutable.h"

namespace tw {

bool CFrontSetup::Prepare(const FrontOptions& options, std::string* error) {
  std::string deviceDir = options.strDeviceDir;
  m_strPackage = options.strPackage;
  if (options.bSimulate) {
    m_pSimulation = std::make_unique<CSimulation>();
    if (!m_pSimulation->Prepare(options, error)) {
      return false;
    }
    deviceDir = m_pSimulation->DeviceDir();
    m_strPackage = m_pSimulation->PackagePath();
  }
  // A device directory, or the handset on the system's USB.
  m_pDevices = deviceDir.empty() ? OpenSystemDevices(GUID_PDA_DOWNLOAD_INTERFACE, error)
                                 : OpenDeviceDirectory(deviceDir, GUID_PDA_DOWNLOAD_INTERFACE, error);
  return m_pDevices != nullptr;
}

CTidewellDlgLogic::Services CFrontSetup::Services() {
  CTidewellDlgLogic::Services services;
  services.pClock = &DefaultClock();
  services.pDevices = m_pDevices ? &m_pDevices->Provider() : &m_NoDevices;
  services.pEvents = m_pDevices ? &m_pDevices->Events() : nullptr;
  services.strPackagePath = m_strPackage.empty() ? OwnExecutableFile() : m_strPackage;
  return services;
}

std::string CFrontSetup::PackageName() const {
  return m_strPackage.empty() ? "this executable" : m_strPackage;
}

bool CFrontSetup::StartSimulation(std::string* error) {
  return !m_pSimulation || m_pSimulation->Start(error);
}

bool CFrontSetup::FinishSimulation(std::FILE* err) {
  return !m_pSimulation || m_pSimulation->Finish(err);
}

}  // namespace tw
