#include "platform/win32/win32deviceprovider.h"

#include "platform/porttable.h"
#include "platform/trace.h"
#include "platform/win32/commdevice.h"
#include "platform/win32/setupapi.h"

namespace tw {

std::vector<std::string> CWin32DeviceProvider::EnumerateInterfaces(const GUID& cls) {
  std::optional<std::vector<std::string>> paths = PresentInterfaces(cls);
  if (!paths) {
    Trace("SetupDiGetClassDevs failed: %lu\n", GetLastError());
    return {};
  }
  return *paths;
}

std::unique_ptr<IByteDevice> CWin32DeviceProvider::OpenInterface(const std::string& path,
                                                                 std::string* error) {
  return CWin32CommDevice::Open(path, CWin32CommDevice::Kind::Interface, error);
}

std::unique_ptr<IByteDevice> CWin32DeviceProvider::OpenPort(const std::string& name, std::string* error) {
  // "COM7", "COM7:" and "\\.\COM7" all open \\.\COM7, which also reaches ports above COM9.
  std::optional<int> number = ParsePortName(name);
  if (!number) {
    if (error) {
      *error = name + ": not a serial port name (COMn, COMn: or \\\\.\\COMn)";
    }
    return nullptr;
  }
  return CWin32CommDevice::Open("\\\\.\\COM" + std::to_string(*number), CWin32CommDevice::Kind::Port, error);
}

}  // namespace tw
