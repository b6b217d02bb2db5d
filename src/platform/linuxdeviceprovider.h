// The device provider on Linux: interfaces of a class come from the
// backends registered for that class (tty, libusb); COM names open the
// serial device that the port table gives for their number.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/deviceprovider.h"
#include "platform/interfacebackend.h"
#include "platform/porttable.h"

namespace tw {

class CLinuxDeviceProvider final : public IDeviceProvider {
 public:
  explicit CLinuxDeviceProvider(CPortTable& ports);

  // Interfaces of cls are listed from this backend, after those added before.
  void AddInterfaceBackend(const GUID& cls, std::unique_ptr<IInterfaceBackend> backend);

  std::vector<std::string> EnumerateInterfaces(const GUID& cls) override;
  std::unique_ptr<IByteDevice> OpenInterface(const std::string& path, std::string* error) override;
  std::unique_ptr<IByteDevice> OpenPort(const std::string& name, std::string* error) override;

 private:
  CPortTable& m_ports;
  std::vector<std::pair<GUID, std::unique_ptr<IInterfaceBackend>>> m_backends;
};

}  // namespace tw
