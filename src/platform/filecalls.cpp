#include "platform/filecalls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tw {

namespace filecalls {

int Open(const std::string& path, UINT flags) {
  int access = O_RDONLY;
  if (flags & CFile::modeReadWrite) {
    access = O_RDWR;
  } else if (flags & CFile::modeWrite) {
    access = O_WRONLY;
  }
  if (flags & CFile::modeCreateNew) {
    access |= O_CREAT | O_EXCL;
  } else if (flags & CFile::modeCreate) {
    access |= O_CREAT | O_TRUNC;
  }
  if (flags & CFile::modeAppend) {
    access |= O_CREAT | O_APPEND;
  }
  int fd = -1;
  do {
    fd = ::open(path.c_str(), access | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

void Close(int fd) {
  ::close(fd);
}

long Read(int fd, void* dst, std::size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd, dst, n);
    if (got >= 0 || errno != EINTR) {
      return static_cast<long>(got);
    }
  }
}

long Write(int fd, const void* src, std::size_t n) {
  for (;;) {
    const ssize_t put = ::write(fd, src, n);
    if (put >= 0 || errno != EINTR) {
      return static_cast<long>(put);
    }
  }
}

std::int64_t Seek(int fd, std::int64_t offset, int whence) {
  const int from = whence == CFile::begin ? SEEK_SET : whence == CFile::current ? SEEK_CUR : SEEK_END;
  const off_t pos = ::lseek(fd, static_cast<off_t>(offset), from);
  return pos < 0 ? -1 : static_cast<std::int64_t>(pos);
}

bool Status(int fd, CFileStatus& status) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    return false;
  }
  status.m_size = st.st_size < 0 ? 0 : static_cast<std::uint64_t>(st.st_size);
  status.m_mtime = st.st_mtime;
  status.m_regular = S_ISREG(st.st_mode);
  status.m_mode = static_cast<unsigned>(st.st_mode & 07777);
  return true;
}

bool SetPermissions(int fd, unsigned mode) {
  return ::fchmod(fd, static_cast<mode_t>(mode & 07777)) == 0;
}

bool Flush(int fd) {
  return ::fsync(fd) == 0;
}

}  // namespace filecalls

BOOL RenameReplacing(const std::string& from, const std::string& to, std::string* error) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    if (error) {
      *error = std::strerror(errno);
    }
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? TRUE : FALSE;
}

}  // namespace tw
