#include "tests/firmware/packagefixture.h"

namespace tw::test {

sImageHeader SoundHeader(std::uint64_t exeSize, std::uint64_t ebootSize, std::uint64_t pdaSize,
                         std::uint64_t phoneSize) {
  sImageHeader h;
  h.dwMagic = IMAGE_HEADER_MAGIC;
  h.dwEbootOffset = ebootSize ? static_cast<DWORD>(exeSize) : 0;
  h.dwEbootSize = static_cast<DWORD>(ebootSize);
  h.dwPdaOffset = static_cast<DWORD>(exeSize + ebootSize);
  h.dwPdaSize = static_cast<DWORD>(pdaSize);
  h.dwPhoneFullSet = 1;
  h.dwPhoneExtraCmd = 0;
  h.dwPhoneOffset = static_cast<DWORD>(exeSize + ebootSize + pdaSize);
  h.dwPhoneSize = static_cast<DWORD>(phoneSize);
  return h;
}

void WritePackage(const std::string& path, const Bytes& exe, const Bytes& eboot, const Bytes& pda,
                  const Bytes& phone, const sImageHeader& header) {
  WriteFile(path, exe);
  AppendFile(path, eboot);
  AppendFile(path, pda);
  AppendFile(path, phone);
  const ImageHeaderBytes record = EncodeImageHeader(header);
  AppendFile(path, Bytes(record.begin(), record.end()));
}

}  // namespace tw::test
