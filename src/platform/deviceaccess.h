// The devices the front ends work with: the provider that opens download
// interfaces and serial ports, and the source of their arrivals and removals.
// Each platform gives the system's own devices; Linux also gives devices
// announced in a directory (test rigs and the simulated handset).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/deviceevents.h"
#include "platform/deviceprovider.h"
#include "platform/guid.h"

namespace tw {

class IDeviceAccess {
 public:
  virtual ~IDeviceAccess() = default;
  virtual IDeviceProvider& Provider() = 0;
  virtual IDeviceEventSource& Events() = 0;
};

// Devices announced in a directory: entries named pda* are interfaces of
// downloadClass (ttys), COM<n> is serial port n. Null with the reason in
// *error where the platform has no device directories (Windows).
std::unique_ptr<IDeviceAccess> OpenDeviceDirectory(const std::string& dir, const GUID& downloadClass,
                                                   std::string* error);

// The system's devices: on Linux libusb and udev by the USB id rules, on
// Windows the device installation services and device notifications. Null
// with the reason in *error.
std::unique_ptr<IDeviceAccess> OpenSystemDevices(const GUID& downloadClass, std::string* error);

// A provider without devices: nothing enumerates, nothing opens.
class CNoDeviceProvider final : public IDeviceProvider {
 public:
  std::vector<std::string> EnumerateInterfaces(const GUID&) override { return {}; }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string& path, std::string* error) override {
    return Refuse(path, error);
  }
  std::unique_ptr<IByteDevice> OpenPort(const std::string& name, std::string* error) override {
    return Refuse(name, error);
  }

 private:
  static std::unique_ptr<IByteDevice> Refuse(const std::string& name, std::string* error) {
    if (error) {
      *error = name + ": no devices";
    }
    return nullptr;
  }
};

}  // namespace tw
