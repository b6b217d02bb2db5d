// The file calls over the C runtime's descriptors, in binary mode, by UTF-16
// paths: the Windows counterpart of the POSIX calls.
#include "platform/filecalls.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "platform/win32/widestring.h"
#include "platform/win32/win32error.h"

namespace tw {

namespace filecalls {

int Open(const std::string& path, UINT flags) {
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
  if (flags & CFile::modeAppend) {
    access |= _O_CREAT | _O_APPEND;
  }
  return _wopen(Widen(path).c_str(), access | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

void Close(int fd) {
  _close(fd);
}

long Read(int fd, void* dst, std::size_t n) {
  return _read(fd, dst, static_cast<unsigned>(n));
}

long Write(int fd, const void* src, std::size_t n) {
  return _write(fd, src, static_cast<unsigned>(n));
}

std::int64_t Seek(int fd, std::int64_t offset, int whence) {
  const int from = whence == CFile::begin ? SEEK_SET : whence == CFile::current ? SEEK_CUR : SEEK_END;
  const long long pos = _lseeki64(fd, offset, from);
  return pos < 0 ? -1 : static_cast<std::int64_t>(pos);
}

bool Status(int fd, CFileStatus& status) {
  struct _stat64 st {};
  if (_fstat64(fd, &st) != 0) {
    return false;
  }
  status.m_size = st.st_size < 0 ? 0 : static_cast<std::uint64_t>(st.st_size);
  status.m_mtime = st.st_mtime;
  status.m_regular = (st.st_mode & _S_IFMT) == _S_IFREG;
  status.m_mode = static_cast<unsigned>(st.st_mode & 0777);
  return true;
}

// Windows files have no permission bits: they keep their own.
bool SetPermissions(int, unsigned) {
  return true;
}

bool Flush(int fd) {
  return _commit(fd) == 0;
}

}  // namespace filecalls

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
