#include "platform/file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/filecalls.h"

namespace tw {

namespace {

// One read or write call moves at most this much; larger requests loop.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

}  // namespace

CFile::~CFile() {
  Close();
}

BOOL CFile::Open(const std::string& path, UINT flags, std::string* error) {
  Close();
  const int fd = filecalls::Open(path, flags);
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
    filecalls::Close(m_fd);
    m_fd = -1;
  }
  m_path.clear();
}

std::uint64_t CFile::GetLength() const {
  CFileStatus status;
  return GetStatus(status) ? status.m_size : 0;
}

std::int64_t CFile::Seek(std::int64_t offset, SeekPosition from) {
  return m_fd < 0 ? -1 : filecalls::Seek(m_fd, offset, from);
}

std::size_t CFile::Read(void* dst, std::size_t n) {
  if (m_fd < 0) {
    return 0;
  }
  auto* out = static_cast<unsigned char*>(dst);
  std::size_t done = 0;
  while (done < n) {
    const long got = filecalls::Read(m_fd, out + done, std::min(n - done, kMaxTransfer));
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
    const long put = filecalls::Write(m_fd, in + done, std::min(n - done, kMaxTransfer));
    if (put <= 0) {
      return FALSE;
    }
    done += static_cast<std::size_t>(put);
  }
  return TRUE;
}

BOOL CFile::GetStatus(CFileStatus& status) const {
  return m_fd >= 0 && filecalls::Status(m_fd, status) ? TRUE : FALSE;
}

BOOL CFile::SetPermissions(unsigned mode) {
  return m_fd >= 0 && filecalls::SetPermissions(m_fd, mode) ? TRUE : FALSE;
}

BOOL CFile::Flush() {
  return m_fd >= 0 && filecalls::Flush(m_fd) ? TRUE : FALSE;
}

}  // namespace tw
