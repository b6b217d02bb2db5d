#include "cli/frontsetup.h"

#include "firmware/imageset.h"
#include "pda/pdaguid.h"
#include "platform/clock.h"
#include "platform/devicedirsource.h"
#include "platform/linuxusb/usbhardware.h"
#include "platform/ownexecutable.h"
#include "platform/ttyinterfacebackend.h"

namespace tw {

CFrontSetup::Devices::Devices(const std::string& dir) : ports(dir), provider(ports) {}

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
  m_pDevices = std::make_unique<Devices>(deviceDir);
  if (!deviceDir.empty()) {
    m_pDevices->provider.AddInterfaceBackend(GUID_PDA_DOWNLOAD_INTERFACE,
                                             std::make_unique<CTtyInterfaceBackend>(deviceDir));
    m_pDevices->events = std::make_unique<CDeviceDirSource>(deviceDir);
    return true;
  }
  // No device directory: the handset on USB, found by the id rules.
  m_pDevices->events =
      AttachUsbHardware(m_pDevices->provider, m_pDevices->ports, GUID_PDA_DOWNLOAD_INTERFACE, error);
  if (!m_pDevices->events) {
    m_pDevices.reset();
    return false;
  }
  return true;
}

CTidewellDlgLogic::Services CFrontSetup::Services() {
  CTidewellDlgLogic::Services services;
  services.pClock = &DefaultClock();
  services.pDevices = m_pDevices ? &m_pDevices->provider : &m_NoDevices;
  services.pEvents = m_pDevices ? m_pDevices->events.get() : nullptr;
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
