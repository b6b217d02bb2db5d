// What the simulated handset keeps of a run: the EBOOT and OS images as
// received, and the modem's flash as written areas (address -> bytes).
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tw::sim {

class SimFlash {
 public:
  // EBOOT and OS image: sized when announced, filled as records arrive.
  void BeginEboot(std::uint32_t size);
  void WriteEboot(std::uint32_t offset, const std::uint8_t* src, std::size_t n);
  void BeginOs(std::uint32_t size);
  void WriteOs(std::uint32_t offset, const std::uint8_t* src, std::size_t n);
  // Modem flash: an erase sets length bytes from start to 0xFF.
  void Erase(std::uint32_t start, std::uint32_t length);
  void Program(std::uint32_t address, const std::uint8_t* src, std::size_t n);

  std::vector<std::uint8_t> Eboot() const;
  std::vector<std::uint8_t> Os() const;
  // n bytes of modem flash from address; bytes never erased nor written read
  // as 0xFF, and *known (when given) counts the bytes that were.
  std::vector<std::uint8_t> ReadModem(std::uint32_t address, std::uint32_t n,
                                      std::uint32_t* known = nullptr) const;
  // The modem flash as written areas, merged where they touch.
  std::map<std::uint32_t, std::vector<std::uint8_t>> ModemAreas() const;

  // Writes eboot.nb0, os.bin and one phone_<address>.bin per modem area
  // into dir. False with a message in *error.
  bool WriteFiles(const std::string& dir, std::string* error) const;

 private:
  void Begin(std::vector<std::uint8_t>& image, std::uint32_t size);
  void Write(std::vector<std::uint8_t>& image, std::uint32_t offset, const std::uint8_t* src, std::size_t n);
  void Store(std::uint32_t address, const std::uint8_t* src, std::size_t n);

  mutable std::mutex m_lock;
  std::vector<std::uint8_t> m_eboot;
  std::vector<std::uint8_t> m_os;
  std::map<std::uint32_t, std::vector<std::uint8_t>> m_modem;  // start -> bytes, disjoint
};

}  // namespace tw::sim
