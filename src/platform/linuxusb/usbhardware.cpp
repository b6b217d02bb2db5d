#include "platform/linuxusb/usbhardware.h"

#include "platform/linuxusb/libusbinterfacebackend.h"
#include "platform/linuxusb/udevsource.h"
#include "platform/linuxusb/usbidrules.h"

namespace tw {

std::unique_ptr<IDeviceEventSource> AttachUsbHardware(CLinuxDeviceProvider& provider, CPortTable& ports,
                                                      const GUID& downloadClass, std::string* error) {
  std::optional<CUsbIdRules> rules = CUsbIdRules::FromEnvironment(error);
  if (!rules) {
    return nullptr;
  }
  provider.AddInterfaceBackend(downloadClass, std::make_unique<CLibusbInterfaceBackend>(*rules));
  return std::make_unique<CUdevSource>(*rules, ports);
}

}  // namespace tw
