// Fuzzes the package loader: the input is the whole file, record and all.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/imageset.h"

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
  ::close(fd);
  return 0;
}
