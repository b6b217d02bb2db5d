// A device interface class identifier, in the usual GUID layout.
#pragma once
#include <cstdint>

namespace tw {

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];

  friend bool operator==(const GUID&, const GUID&) = default;
};

}  // namespace tw
