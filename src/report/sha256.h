// SHA-256 (FIPS 180-4), for the image hashes of the run record.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tw {

class CSha256 {
 public:
  CSha256();
  void Update(std::span<const std::uint8_t> data);
  // The digest as 64 lowercase hex digits; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> m_state;
  std::array<std::uint8_t, 64> m_buffer{};
  std::size_t m_nBuffered = 0;
  std::uint64_t m_nTotal = 0;
};

// The hex digest of data.
std::string Sha256Hex(std::span<const std::uint8_t> data);

}  // namespace tw
