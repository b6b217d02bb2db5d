// One firmware image in memory. Two storages, because the readers differ:
// the image table's EBOOT image is m_pEboot of the buffer it names for
// EBOOT, its PDA image m_pPda of the buffer named for PDA. Both take the
// length from the image table, not from m_nLength.
#pragma once
#include <cstddef>

#include "platform/file.h"
#include "platform/wintypes.h"

namespace tw {

class CBufBin {
 public:
  CBufBin() = default;
  virtual ~CBufBin();  // frees both storages
  CBufBin(const CBufBin&) = delete;
  CBufBin& operator=(const CBufBin&) = delete;

  // Each load frees the block of the storage it names first and leaves the
  // other storage alone. A block that cannot be allocated leaves the
  // storage null (and the load fails or reads nothing).

  // Reads n bytes from the file's position; TRUE exactly when n bytes were
  // read. On a short read the block stays allocated with what was read.
  BOOL ReadEboot(CFile* file, DWORD n);
  BOOL ReadPda(CFile* file, DWORD n);
  // Reads the file's length (low 32 bits) from its position; returns the
  // count read.
  DWORD LoadEbootFile(CFile* file);
  DWORD LoadPdaFile(CFile* file);
  // Copies n bytes from memory.
  void CopyEboot(const void* data, DWORD n);
  void CopyPda(const void* data, DWORD n);

  // The storages (owned; null when empty) and the byte count of the most
  // recent load into either. Read-only outside this class.
  BYTE* m_pEboot = nullptr;
  BYTE* m_pPda = nullptr;
  int m_nLength = 0;

 private:
  static BOOL Replace(BYTE*& storage, std::size_t n);
  std::size_t ReadInto(BYTE*& storage, CFile* file, DWORD n);
};

}  // namespace tw
