// Directory names as given on the command line, made fit for joining.
#pragma once
#include <string>

namespace tw {

// "dir/" and "dir//" become "dir"; "/" stays "/" (joined as "/name").
inline std::string TrimTrailingSlashes(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') {
    dir.pop_back();
  }
  return dir;
}

// dir/name without a doubled slash.
inline std::string JoinPath(const std::string& dir, const std::string& name) {
  return dir.ends_with('/') ? dir + name : dir + "/" + name;
}

}  // namespace tw
