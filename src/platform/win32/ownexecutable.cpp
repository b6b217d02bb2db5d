#include "platform/ownexecutable.h"

#include <windows.h>

#include "platform/win32/widestring.h"

namespace tw {

namespace {

// The module's full path (GetModuleFileName), grown until it fits.
std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) {
      return {};
    }
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

std::string OwnExecutableFile() {
  return Narrow(ModulePath());
}

std::string OwnExecutableDir() {
  const std::string path = OwnExecutableFile();
  const std::size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string ProgramFileName(const std::string& base) {
  return base + ".exe";
}

}  // namespace tw
