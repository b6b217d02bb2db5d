#include "app/devicechange.h"

#include <climits>
#include <cstdlib>

namespace tw {

bool PortNumberFromName(const std::string& name, int* pPort) {
  if (name.rfind("COM", 0) != 0) {
    return false;
  }
  std::size_t first = name.find_first_not_of("COM");
  std::string rest = first == std::string::npos ? std::string() : name.substr(first);
  // atoi's reading (leading blanks, a sign, digits, then anything), without
  // its undefined overflow.
  long long value = std::strtoll(rest.c_str(), nullptr, 10);
  if (value > INT_MAX) {
    value = INT_MAX;
  } else if (value < INT_MIN) {
    value = INT_MIN;
  }
  *pPort = static_cast<int>(value);
  return true;
}

}  // namespace tw
