#include "platform/deviceaccess.h"
#include "platform/linuxusb/usbhardware.h"

namespace tw {

namespace {

// The libusb backend and the udev source, sharing one port table.
class CUsbSystemDevices final : public IDeviceAccess {
 public:
  CUsbSystemDevices() : m_Provider(m_Ports) {}
  bool Attach(const GUID& downloadClass, std::string* error) {
    m_pEvents = AttachUsbHardware(m_Provider, m_Ports, downloadClass, error);
    return m_pEvents != nullptr;
  }
  IDeviceProvider& Provider() override { return m_Provider; }
  IDeviceEventSource& Events() override { return *m_pEvents; }

 private:
  CPortTable m_Ports;
  CLinuxDeviceProvider m_Provider;
  std::unique_ptr<IDeviceEventSource> m_pEvents;
};

}  // namespace

std::unique_ptr<IDeviceAccess> OpenSystemDevices(const GUID& downloadClass, std::string* error) {
  auto devices = std::make_unique<CUsbSystemDevices>();
  if (!devices->Attach(downloadClass, error)) {
    return nullptr;
  }
  return devices;
}

}  // namespace tw
