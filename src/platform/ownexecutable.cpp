#include "platform/ownexecutable.h"

#include <unistd.h>

namespace tw {

std::string OwnExecutableFile() {
  return "/proc/self/exe";
}

std::string OwnExecutableDir() {
  std::string self(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (n <= 0) {
    return {};
  }
  self.resize(static_cast<std::size_t>(n));
  const std::size_t slash = self.rfind('/');
  return slash == std::string::npos ? std::string() : self.substr(0, slash + 1);
}

std::string ProgramFileName(const std::string& base) {
  return base;
}

}  // namespace tw
