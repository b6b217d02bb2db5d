// The calls CFile makes on a descriptor, one set per system: POSIX
// (filecalls.cpp) or the C runtime's on Windows (win32/filecalls.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace tw::filecalls {

// Opens path with CFile's flags; -1 on failure, the reason in errno.
int Open(const std::string& path, UINT flags);
void Close(int fd);
// One transfer of at most n bytes: the count moved, 0 at the end, -1 on an
// error (an interrupted call is repeated inside).
long Read(int fd, void* dst, std::size_t n);
long Write(int fd, const void* src, std::size_t n);
// whence: CFile::SeekPosition. The new position, or -1.
std::int64_t Seek(int fd, std::int64_t offset, int whence);
bool Status(int fd, CFileStatus& status);
bool SetPermissions(int fd, unsigned mode);
bool Flush(int fd);

}  // namespace tw::filecalls
