// Fuzzes the package loader: the input is the whole file, record and all.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/imageset.h"
#include "firmware/packagelayout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An in-memory file, opened through its /proc path like any package.
  const int fd = ::memfd_create("package", MFD_CLOEXEC);
  if (fd < 0) {
    return 0;
  }
  std::size_t done = 0;
  while (done < size) {
    const ssize_t put = ::write(fd, data + done, size - done);
    if (put <= 0) {
      ::close(fd);
      return 0;
    }
    done += static_cast<std::size_t>(put);
  }
  tw::CImageSet set;
  set.ZeroImageTable();
  const tw::BOOL loaded = set.LoadAttachedImages("/proc/self/fd/" + std::to_string(fd));
  if (loaded &&
      (!set.m_bImageLoaded || set.m_ImageTable.dwPdaSize > size || set.m_ImageTable.dwPhoneSize > size)) {
    __builtin_trap();
  }
  // The loader takes exactly what the one validation calls sound; a refusal
  // changes nothing.
  tw::sImageHeader header;
  tw::CFile file;
  if (!file.Open("/proc/self/fd/" + std::to_string(fd))) __builtin_trap();
  const tw::PackageValidation validation = tw::ValidatePackageFile(file, &header);
  if ((loaded != 0) != (validation.verdict == tw::PackageVerdict::kSound)) __builtin_trap();
  if (validation.verdict == tw::PackageVerdict::kNoPackage &&
      (set.m_bDownEboot || set.m_ImageTable.pEbootBin || set.m_ImageTable.pPdaBin)) {
    __builtin_trap();
  }
  ::close(fd);
  return 0;
}
