// A file opened by path over a descriptor (POSIX, or the C runtime's in
// binary mode on Windows): length, seek, read, write, status. It stands where
// the upgrader used the framework's file class.
//
// The share flags are accepted and ignored: Linux has no share modes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/wintypes.h"

namespace tw {

// Length and last modification time of an open file.
struct CFileStatus {
  std::uint64_t m_size = 0;
  std::time_t m_mtime = 0;
  bool m_regular = false;  // a regular file (not a directory, device, ...)
  unsigned m_mode = 0;     // permission bits
};

class CFile {
 public:
  // Open flags, with the framework's values.
  static constexpr UINT modeRead = 0x0000;
  static constexpr UINT modeWrite = 0x0001;
  static constexpr UINT modeReadWrite = 0x0002;
  static constexpr UINT shareDenyRead = 0x0030;   // accepted, ignored
  static constexpr UINT modeCreate = 0x1000;      // create or truncate
  static constexpr UINT modeCreateNew = 0x10000;  // create; fail when the file exists (not a framework flag)
  static constexpr UINT modeAppend = 0x20000;     // create if missing; every write goes to the end (not a framework flag)

  enum SeekPosition { begin = 0, current = 1, end = 2 };

  CFile() = default;
  virtual ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Opens path with the flags above. A file that was open is closed first.
  // On failure returns FALSE with the system's reason in *error (if given).
  BOOL Open(const std::string& path, UINT flags = modeRead, std::string* error = nullptr);
  BOOL IsOpen() const { return m_fd >= 0; }
  void Close();

  // Length in bytes; 0 when closed or unknown.
  std::uint64_t GetLength() const;
  // Moves the position; returns the new position from the start, or -1
  // (the position is then unchanged). Seek(0, current) reports the position.
  std::int64_t Seek(std::int64_t offset, SeekPosition from);
  std::int64_t GetPosition() { return Seek(0, current); }

  // Reads up to n bytes from the position; returns the count read, which is
  // less than n only at the end of the file or on an error.
  std::size_t Read(void* dst, std::size_t n);
  // Writes all n bytes at the position; FALSE on failure.
  BOOL Write(const void* src, std::size_t n);

  BOOL GetStatus(CFileStatus& status) const;
  // Sets the permission bits (Linux; Windows files have none and keep theirs).
  BOOL SetPermissions(unsigned mode);
  // Writes what the system holds of the file through to the device.
  BOOL Flush();
  const std::string& GetFilePath() const { return m_path; }
  int Handle() const { return m_fd; }

 private:
  int m_fd = -1;
  std::string m_path;
};

// Renames from to to, replacing a file named to. FALSE with the system's
// reason in *error (if given).
BOOL RenameReplacing(const std::string& from, const std::string& to, std::string* error = nullptr);
// Deletes the file at path; FALSE when it cannot.
BOOL RemoveFile(const std::string& path);

}  // namespace tw
