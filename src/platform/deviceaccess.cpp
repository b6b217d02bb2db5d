#include "platform/deviceaccess.h"

#include "platform/devicedirsource.h"
#include "platform/linuxdeviceprovider.h"
#include "platform/porttable.h"
#include "platform/ttyinterfacebackend.h"

namespace tw {

namespace {

// pda* entries through the tty backend, COM<n> entries through the port
// table's directory mode, events from the directory's watch.
class CDirectoryDevices final : public IDeviceAccess {
 public:
  CDirectoryDevices(const std::string& dir, const GUID& downloadClass)
      : m_Ports(dir), m_Provider(m_Ports), m_Events(dir) {
    m_Provider.AddInterfaceBackend(downloadClass, std::make_unique<CTtyInterfaceBackend>(dir));
  }
  IDeviceProvider& Provider() override { return m_Provider; }
  IDeviceEventSource& Events() override { return m_Events; }

 private:
  CPortTable m_Ports;
  CLinuxDeviceProvider m_Provider;
  CDeviceDirSource m_Events;
};

}  // namespace

std::unique_ptr<IDeviceAccess> OpenDeviceDirectory(const std::string& dir, const GUID& downloadClass,
                                                   std::string*) {
  return std::make_unique<CDirectoryDevices>(dir, downloadClass);
}

}  // namespace tw
