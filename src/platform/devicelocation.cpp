#include "platform/devicelocation.h"

namespace tw {

LocatedName SplitLocatedName(const std::string& entry) {
  const std::size_t at = entry.find('@');
  if (at == std::string::npos) return {entry, ""};
  return {entry.substr(0, at), entry.substr(at + 1)};
}

}  // namespace tw
