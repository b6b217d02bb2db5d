#include "platform/ttyinterfacebackend.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/dirpath.h"
#include "platform/ttydevice.h"

namespace tw {

CTtyInterfaceBackend::CTtyInterfaceBackend(std::string directory, std::string prefix)
    : m_directory(TrimTrailingSlashes(std::move(directory))), m_prefix(std::move(prefix)) {}

std::vector<std::string> CTtyInterfaceBackend::Enumerate() {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(m_directory, ec); !ec && it != std::filesystem::end(it);
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.starts_with(m_prefix)) {
      names.push_back(std::move(name));
    }
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (const auto& name : names) {
    paths.push_back(JoinPath(m_directory, name));
  }
  return paths;
}

bool CTtyInterfaceBackend::Handles(const std::string& path) const {
  std::string dir = JoinPath(m_directory, "");
  return path.starts_with(dir) && path.compare(dir.size(), m_prefix.size(), m_prefix) == 0 &&
         path.find('/', dir.size()) == std::string::npos;
}

std::unique_ptr<IByteDevice> CTtyInterfaceBackend::Open(const std::string& path, std::string* error) {
  return CTtyDevice::Open(path, error);
}

}  // namespace tw
