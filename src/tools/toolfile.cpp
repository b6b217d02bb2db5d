#include "tools/toolfile.h"

#include <filesystem>
#include <system_error>

namespace tw {

bool OpenToolInput(std::ifstream& file, const std::string& path) {
  std::error_code error;
  if (path.empty() || std::filesystem::is_directory(path, error)) {
    return false;
  }
  file.open(path, std::ios::binary | std::ios::in);
  return file.is_open();
}

bool CreateToolOutput(std::ofstream& file, const std::string& path) {
  if (path.empty()) {
    return false;
  }
  file.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
  return file.is_open();
}

bool ReadToolBlock(std::istream& file, void* dst, std::size_t n, std::size_t* got) {
  *got = 0;
  if (n == 0) {
    return !file.bad();
  }
  file.read(static_cast<char*>(dst), static_cast<std::streamsize>(n));
  *got = static_cast<std::size_t>(file.gcount());
  if (file.bad()) {
    return false;
  }
  // The end of the file is no failure; reads after it return 0 bytes.
  file.clear();
  return true;
}

bool WriteToolBlock(std::ostream& file, const void* src, std::size_t n) {
  file.write(static_cast<const char*>(src), static_cast<std::streamsize>(n));
  file.flush();
  return static_cast<bool>(file);
}

void DeleteToolOutput(const std::string& path) {
  std::error_code error;
  std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  if (!error && (std::filesystem::is_regular_file(status) || std::filesystem::is_symlink(status))) {
    std::filesystem::remove(path, error);
  }
}

}  // namespace tw
