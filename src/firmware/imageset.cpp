#include "firmware/imageset.h"

#include "platform/ownexecutable.h"

namespace tw {

BOOL CImageSet::LoadAttachedImages(const std::string& path) {
  // 1. The running executable unless a package path is given.
  const std::string packagePath = path.empty() ? OwnExecutableFile() : path;
  // 2. Open it for reading.
  CFile file;
  if (!file.Open(packagePath, CFile::modeRead | CFile::shareDenyRead)) {
    return FALSE;
  }
  // 3. and 4. The record in the last 36 bytes, with its magic; a shorter
  // file carries no package.
  sImageHeader header;
  if (!ReadImageHeader(file, header) || header.dwMagic != IMAGE_HEADER_MAGIC) {
    return FALSE;
  }
  // Offsets are checked before anything is allocated: a refusal changes
  // nothing. Sizes beyond the end of the file are short reads, found at
  // each image before its allocation.
  const std::uint64_t length = file.GetLength();
  const bool hasEboot = header.dwEbootOffset != 0 && header.dwEbootSize != 0;
  if (hasEboot ? !LiesInside(header.dwEbootOffset, header.dwEbootSize, length)
               : header.dwPdaOffset > length) {
    return FALSE;
  }
  // 5. and 6. The EBOOT image, or none.
  if (hasEboot) {
    if (!LoadEboot(file, header)) {
      return FALSE;
    }
  } else {
    SkipEboot(file, header);
  }
  // 7. to 10. The PDA and phone images; the file closes on return.
  return LoadPdaAndPhone(file, header);
}

BOOL CImageSet::LoadEboot(CFile& file, const sImageHeader& header) {
  // 1. to 3. Read it from its offset.
  if (file.Seek(header.dwEbootOffset, CFile::begin) < 0 || !m_EbootBin.ReadEboot(&file, header.dwEbootSize)) {
    return FALSE;
  }
  // 4. Flag it and enter it in the table.
  m_bDownEboot = 1;
  m_ImageTable.pEbootBin = &m_EbootBin;
  m_ImageTable.dwEbootSize = header.dwEbootSize;
  return TRUE;
}

void CImageSet::SkipEboot(CFile& file, const sImageHeader& header) {
  file.Seek(header.dwPdaOffset, CFile::begin);
  m_bDownEboot = 0;
  m_ImageTable.pEbootBin = nullptr;
  m_ImageTable.dwEbootSize = 0;
}

BOOL CImageSet::LoadPdaAndPhone(CFile& file, const sImageHeader& header) {
  const std::uint64_t length = file.GetLength();
  // 7. The PDA image from the current position: the end of the EBOOT image,
  // or dwPdaOffset without one.
  const std::int64_t pdaStart = file.GetPosition();
  if (pdaStart < 0 || !LiesInside(static_cast<std::uint64_t>(pdaStart), header.dwPdaSize, length) ||
      !m_PdaBin.ReadPda(&file, header.dwPdaSize)) {
    return FALSE;
  }
  // 8. The phone image directly behind it; dwPhoneOffset plays no part.
  const std::uint64_t phoneStart = static_cast<std::uint64_t>(pdaStart) + header.dwPdaSize;
  if (!LiesInside(phoneStart, header.dwPhoneSize, length) ||
      !m_PhoneFile.LoadFromFile(&file, header.dwPhoneSize)) {
    return FALSE;
  }
  // 9. A complete set: the flags, the options, the table, the loaded flag.
  m_bDownPda = 1;
  m_bDownPhone = 1;
  m_bPhoneFullSet = static_cast<int>(header.dwPhoneFullSet);
  m_bPhoneExtraCmd = static_cast<int>(header.dwPhoneExtraCmd);
  m_ImageTable.dwPdaSize = header.dwPdaSize;
  m_ImageTable.pPdaBin = &m_PdaBin;
  m_ImageTable.dwPhoneSize = header.dwPhoneSize;
  m_bImageLoaded = 1;
  return TRUE;
}

}  // namespace tw
