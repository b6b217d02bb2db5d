#include "tools/toolpath.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tw {

std::string ToolPath(const std::string& path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

std::string JoinToolPath(const std::string& dir, const std::string& name) {
  return ToolPath(dir + "\\" + name);
}

std::string CurrentDirectory() {
  std::error_code error;
  std::filesystem::path dir = std::filesystem::current_path(error);
  return error ? std::string() : dir.string();
}

std::string IniPathInCurrentDir(const std::string& iniName) {
  return ToolPath(CurrentDirectory() + iniName);
}

}  // namespace tw
