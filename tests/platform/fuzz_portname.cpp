// Port names from anywhere: a name either gives a number from 1 to 9999
// whose canonical forms give it back, or gives none; nothing crashes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/porttable.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(reinterpret_cast<const char*>(data), size);
  std::optional<int> n = tw::ParsePortName(name);
  if (!n) {
    return 0;
  }
  Require(*n >= 1 && *n <= tw::CPortTable::kMaxPortNumber);
  const std::string number = std::to_string(*n);
  for (const std::string& form : {"COM" + number, "COM" + number + ":", "\\\\.\\COM" + number}) {
    Require(tw::ParsePortName(form) == n);
  }
  tw::CPortTable table("/devs");
  Require(table.Resolve(name) == "/devs/COM" + number);
  return 0;
}
