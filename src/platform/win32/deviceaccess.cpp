#include "platform/deviceaccess.h"

#include "platform/win32/deviceeventwindow.h"
#include "platform/win32/win32deviceprovider.h"

namespace tw {

namespace {

class CWin32SystemDevices final : public IDeviceAccess {
 public:
  explicit CWin32SystemDevices(const GUID& downloadClass) : m_Events(downloadClass) {}
  IDeviceProvider& Provider() override { return m_Provider; }
  IDeviceEventSource& Events() override { return m_Events; }

 private:
  CWin32DeviceProvider m_Provider;
  CDeviceEventWindow m_Events;
};

}  // namespace

std::unique_ptr<IDeviceAccess> OpenDeviceDirectory(const std::string&, const GUID&, std::string* error) {
  if (error) {
    *error =
        "--device-dir: device directories are a Linux feature; on Windows the handset is found by its "
        "driver";
  }
  return nullptr;
}

std::unique_ptr<IDeviceAccess> OpenSystemDevices(const GUID& downloadClass, std::string*) {
  return std::make_unique<CWin32SystemDevices>(downloadClass);
}

}  // namespace tw
