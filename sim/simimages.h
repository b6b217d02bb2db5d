// The images a run is compared with: those of a package, or of a test.
#pragma once
#include <cstdint>
#include <vector>

namespace tw::sim {

struct SimImages {
  bool hasEboot = false;
  std::vector<std::uint8_t> eboot;
  std::vector<std::uint8_t> os;
  std::vector<std::uint8_t> phone;
  // The bytes that follow the phone image where it was loaded from (in a
  // package the 36-byte trailer record); the last download block carries
  // them, then zeros.
  std::vector<std::uint8_t> phoneTail;
  // Full region set (all seven) rather than EFS and CODE.
  bool phoneFullSet = true;
};

}  // namespace tw::sim
