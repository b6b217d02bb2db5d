#include "cli/frontsetup.h"

#include "app/imageset.h"
#include "pda/pdaguid.h"
#include "platform/clock.h"
#include "platform/ttyinterfacebackend.h"

namespace tw {

CFrontSetup::DeviceDir::DeviceDir(const std::string& dir) : ports(dir), provider(ports), events(dir) {
  provider.AddInterfaceBackend(GUID_PDA_DOWNLOAD_INTERFACE, std::make_unique<CTtyInterfaceBackend>(dir));
}

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
  if (!deviceDir.empty()) {
    m_pDevices = std::make_unique<DeviceDir>(deviceDir);
  }
  return true;
}

CTidewellDlgLogic::Services CFrontSetup::Services() {
  CTidewellDlgLogic::Services services;
  services.pClock = &DefaultClock();
  services.pDevices = m_pDevices ? &m_pDevices->provider : &m_NoDevices;
  services.pEvents = m_pDevices ? &m_pDevices->events : nullptr;
  services.strPackagePath = m_strPackage.empty() ? std::string(CImageSet::kOwnExecutable) : m_strPackage;
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
