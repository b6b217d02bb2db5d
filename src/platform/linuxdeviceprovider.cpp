#include "platform/linuxdeviceprovider.h"

#include <cerrno>

#include "platform/ttydevice.h"

namespace tw {

namespace {

std::unique_ptr<IByteDevice> Refuse(std::string text, int errorNumber, std::string* error) {
  if (error) {
    *error = std::move(text);
  }
  errno = errorNumber;
  return nullptr;
}

}  // namespace

CLinuxDeviceProvider::CLinuxDeviceProvider(CPortTable& ports) : m_ports(ports) {}

void CLinuxDeviceProvider::AddInterfaceBackend(const GUID& cls, std::unique_ptr<IInterfaceBackend> backend) {
  m_backends.emplace_back(cls, std::move(backend));
}

std::vector<std::string> CLinuxDeviceProvider::EnumerateInterfaces(const GUID& cls) {
  std::vector<std::string> paths;
  for (auto& [backendClass, backend] : m_backends) {
    if (backendClass == cls) {
      std::vector<std::string> found = backend->Enumerate();
      paths.insert(paths.end(), found.begin(), found.end());
    }
  }
  return paths;
}

std::unique_ptr<IByteDevice> CLinuxDeviceProvider::OpenInterface(const std::string& path,
                                                                 std::string* error) {
  for (auto& entry : m_backends) {
    if (entry.second->Handles(path)) {
      return entry.second->Open(path, error);
    }
  }
  return Refuse(path + ": no download interface backend knows this path", ENOENT, error);
}

std::unique_ptr<IByteDevice> CLinuxDeviceProvider::OpenPort(const std::string& name, std::string* error) {
  std::string why;
  std::optional<std::string> path = m_ports.Resolve(name, &why);
  if (!path) {
    return Refuse(why, ENOENT, error);
  }
  return CTtyDevice::Open(*path, error);
}

}  // namespace tw
