#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tw {

namespace {

// One read() or write() call moves at most this much; larger requests loop.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

int OpenFlags(UINT flags) {
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
  return access | O_CLOEXEC;
}

}  // namespace

CFile::~CFile() {
  Close();
}

BOOL CFile::Open(const std::string& path, UINT flags, std::string* error) {
  Close();
  int fd = -1;
  do {
    fd = ::open(path.c_str(), OpenFlags(flags), 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (error) {
      *error = std::strerror(errno);
    }
    return FALSE;
  }
  m_fd = fd;
  m_path = path;
  return TRUE;
}

void CFile::Close() {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
  m_path.clear();
}

std::uint64_t CFile::GetLength() const {
  CFileStatus status;
  return GetStatus(status) ? status.m_size : 0;
}

std::int64_t CFile::Seek(std::int64_t offset, SeekPosition from) {
  if (m_fd < 0) {
    return -1;
  }
  int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
  off_t pos = ::lseek(m_fd, static_cast<off_t>(offset), whence);
  return pos < 0 ? -1 : static_cast<std::int64_t>(pos);
}

std::size_t CFile::Read(void* dst, std::size_t n) {
  if (m_fd < 0) {
    return 0;
  }
  auto* out = static_cast<unsigned char*>(dst);
  std::size_t done = 0;
  while (done < n) {
    ssize_t got = ::read(m_fd, out + done, std::min(n - done, kMaxTransfer));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  return done;
}

BOOL CFile::Write(const void* src, std::size_t n) {
  if (m_fd < 0) {
    return FALSE;
  }
  const auto* in = static_cast<const unsigned char*>(src);
  std::size_t done = 0;
  while (done < n) {
    ssize_t put = ::write(m_fd, in + done, std::min(n - done, kMaxTransfer));
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put <= 0) {
      return FALSE;
    }
    done += static_cast<std::size_t>(put);
  }
  return TRUE;
}

BOOL CFile::GetStatus(CFileStatus& status) const {
  struct stat st {};
  if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
    return FALSE;
  }
  status.m_size = st.st_size < 0 ? 0 : static_cast<std::uint64_t>(st.st_size);
  status.m_mtime = st.st_mtime;
  status.m_regular = S_ISREG(st.st_mode);
  status.m_mode = static_cast<unsigned>(st.st_mode & 07777);
  return TRUE;
}

BOOL CFile::SetPermissions(unsigned mode) {
  return m_fd >= 0 && ::fchmod(m_fd, static_cast<mode_t>(mode & 07777)) == 0 ? TRUE : FALSE;
}

BOOL CFile::Flush() {
  return m_fd >= 0 && ::fsync(m_fd) == 0 ? TRUE : FALSE;
}

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
