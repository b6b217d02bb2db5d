#include "firmware/bufbin.h"

#include <cstring>
#include <new>

namespace tw {

CBufBin::~CBufBin() {
  // Both storages are freed: a buffer that was loaded through both keeps
  // no block behind.
  delete[] m_pEboot;
  delete[] m_pPda;
}

BOOL CBufBin::Replace(BYTE*& storage, std::size_t n) {
  delete[] storage;
  storage = new (std::nothrow) BYTE[n == 0 ? 1 : n];
  return storage != nullptr;
}

std::size_t CBufBin::ReadInto(BYTE*& storage, CFile* file, DWORD n) {
  // 1. The length of this load; 2. a fresh block; 3. read into it.
  m_nLength = static_cast<int>(n);
  if (!Replace(storage, n) || file == nullptr) {
    return 0;
  }
  return file->Read(storage, n);
}

BOOL CBufBin::ReadEboot(CFile* file, DWORD n) {
  return ReadInto(m_pEboot, file, n) == n ? TRUE : FALSE;
}

BOOL CBufBin::ReadPda(CFile* file, DWORD n) {
  return ReadInto(m_pPda, file, n) == n ? TRUE : FALSE;
}

DWORD CBufBin::LoadEbootFile(CFile* file) {
  const DWORD n = file ? static_cast<DWORD>(file->GetLength()) : 0;
  return static_cast<DWORD>(ReadInto(m_pEboot, file, n));
}

DWORD CBufBin::LoadPdaFile(CFile* file) {
  const DWORD n = file ? static_cast<DWORD>(file->GetLength()) : 0;
  return static_cast<DWORD>(ReadInto(m_pPda, file, n));
}

void CBufBin::CopyEboot(const void* data, DWORD n) {
  m_nLength = static_cast<int>(n);
  if (Replace(m_pEboot, n) && n != 0) {
    std::memcpy(m_pEboot, data, n);
  }
}

void CBufBin::CopyPda(const void* data, DWORD n) {
  m_nLength = static_cast<int>(n);
  if (Replace(m_pPda, n) && n != 0) {
    std::memcpy(m_pPda, data, n);
  }
}

}  // namespace tw
