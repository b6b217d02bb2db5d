// The device provider on Windows: interfaces of a class through the device
// installation services, opened as files; COM names opened as \\.\COMn.
#pragma once
#include "platform/deviceprovider.h"

namespace tw {

class CWin32DeviceProvider final : public IDeviceProvider {
 public:
  std::vector<std::string> EnumerateInterfaces(const GUID& cls) override;
  std::unique_ptr<IByteDevice> OpenInterface(const std::string& path, std::string* error) override;
  std::unique_ptr<IByteDevice> OpenPort(const std::string& name, std::string* error) override;
};

}  // namespace tw
