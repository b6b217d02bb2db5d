// Fuzzes the profile reader: the input is the INI text, looked up for a few
// names; a value is never longer than a string read returns.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "tools/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const char* section : {"BOOT_IMAGE", "ONEFILE_IMAGE", ""}) {
    for (const char* key : {"FILE_COUNT", "FILE_NAME1", "OUTPUT_FILE", ""}) {
      std::istringstream in(text);
      std::optional<std::string> value = tw::CIniProfile::FindValue(in, key, section);
      if (value && value->size() > tw::CIniProfile::kMaxValueChars) {
        __builtin_trap();
      }
      if (value) {
        tw::CIniProfile::ParseInt(*value);
      }
    }
  }
  return 0;
}
