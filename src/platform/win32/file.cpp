// CFile over the C runtime's descriptors, opened in binary mode by a UTF-16
// path: the Windows counterpart of the POSIX file.
#include "platform/file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/win32/widestring.h"
#include "platform/win32/win32error.h"

namespace tw {

namespace {

// One _read or _write call moves at most this much; larger requests loop.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

int OpenFlags(UINT flags) {
  int access = _O_RDONLY;
  if (flags & CFile::modeReadWrite) {
    access = _O_RDWR;
  } else if (flags & CFile::modeWrite) {
    access = _O_WRONLY;
  }
  if (flags & CFile::modeCreateNew) {
    access |= _O_CREAT | _O_EXCL;
  } else if (flags & CFile::modeCreate) {
    access |= _O_CREAT | _O_TRUNC;
  }
  return access | _O_BINARY | _O_NOINHERIT;
}

}  // namespace

CFile::~CFile() {
  Close();
}

BOOL CFile::Open(const std::string& path, UINT flags, std::string* error) {
  Close();
  const int fd = _wopen(Widen(path).c_str(), OpenFlags(flags), _S_IREAD | _S_IWRITE);
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
    _close(m_fd);
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
  const long long pos = _lseeki64(m_fd, offset, whence);
  return pos < 0 ? -1 : static_cast<std::int64_t>(pos);
}

std::size_t CFile::Read(void* dst, std::size_t n) {
  if (m_fd < 0) {
    return 0;
  }
  auto* out = static_cast<unsigned char*>(dst);
  std::size_t done = 0;
  while (done < n) {
    const int got = _read(m_fd, out + done, static_cast<unsigned>(std::min(n - done, kMaxTransfer)));
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
    const int put = _write(m_fd, in + done, static_cast<unsigned>(std::min(n - done, kMaxTransfer)));
    if (put <= 0) {
      return FALSE;
    }
    done += static_cast<std::size_t>(put);
  }
  return TRUE;
}

BOOL CFile::GetStatus(CFileStatus& status) const {
  struct _stat64 st {};
  if (m_fd < 0 || _fstat64(m_fd, &st) != 0) {
    return FALSE;
  }
  status.m_size = st.st_size < 0 ? 0 : static_cast<std::uint64_t>(st.st_size);
  status.m_mtime = st.st_mtime;
  status.m_regular = (st.st_mode & _S_IFMT) == _S_IFREG;
  status.m_mode = static_cast<unsigned>(st.st_mode & 0777);
  return TRUE;
}

BOOL CFile::SetPermissions(unsigned) {
  return m_fd >= 0 ? TRUE : FALSE;
}

BOOL CFile::Flush() {
  return m_fd >= 0 && _commit(m_fd) == 0 ? TRUE : FALSE;
}

BOOL RenameReplacing(const std::string& from, const std::string& to, std::string* error) {
  if (!MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    if (error) {
      *error = Win32ErrorText(GetLastError());
    }
    return FALSE;
  }
  return TRUE;
}

BOOL RemoveFile(const std::string& path) {
  return DeleteFileW(Widen(path).c_str()) ? TRUE : FALSE;
}

}  // namespace tw
