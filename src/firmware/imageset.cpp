#include "firmware/imageset.h"

#include "firmware/packagelayout.h"
#include "platform/ownexecutable.h"
#include "platform/trace.h"

namespace tw {

BOOL CImageSet::LoadAttachedImages(const std::string& path) {
  m_strLoadError.clear();
  // The running executable unless a package path is given.
  const std::string packagePath = path.empty() ? OwnExecutableFile() : path;
  // Open it for reading.
  CFile file;
  std::string error;
  if (!file.Open(packagePath, CFile::modeRead | CFile::shareDenyRead, &error)) {
    return Fail("cannot open " + packagePath + ": " + error);
  }
  // The record in the last 36 bytes and the layout it describes,
  // validated before anything is allocated: a refusal changes nothing. An
  // image cut off at the end of the file is a short read, found at that
  // image before its allocation.
  sImageHeader header;
  const PackageValidation validation = ValidatePackageFile(file, &header);
  if (validation.verdict == PackageVerdict::kNoPackage) {
    return Fail(VerdictText(validation));
  }
  if (validation.verdict == PackageVerdict::kCutOff) {
    Fail(VerdictText(validation));
  }
  // The EBOOT image, or none.
  if (header.dwEbootSize != 0) {
    if (!LoadEboot(file, header)) {
      return Fail("the EBOOT image cannot be read");
    }
  } else {
    SkipEboot(file, header);
  }
  // The PDA and phone images; the file closes on return.
  if (LoadPdaAndPhone(file, header)) {
    return TRUE;
  }
  return m_strLoadError.empty() ? Fail("the PDA or phone image cannot be read") : FALSE;
}

BOOL CImageSet::Fail(const std::string& reason) {
  m_strLoadError = reason;
  Trace("LoadAttachedImages: %s\n", reason.c_str());
  return FALSE;
}

BOOL CImageSet::LoadEboot(CFile& file, const sImageHeader& header) {
  // Read it from its offset.
  if (file.Seek(header.dwEbootOffset, CFile::begin) < 0 || !m_EbootBin.ReadEboot(&file, header.dwEbootSize)) {
    return FALSE;
  }
  // Flag it and enter it in the table.
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
  // The images end where the record begins (validated: the file holds one).
  const std::uint64_t recordAt = file.GetLength() - IMAGE_HEADER_SIZE;
  // The PDA image from the current position: the end of the EBOOT image,
  // or dwPdaOffset without one.
  const std::int64_t pdaStart = file.GetPosition();
  if (pdaStart < 0 || !LiesInside(static_cast<std::uint64_t>(pdaStart), header.dwPdaSize, recordAt) ||
      !m_PdaBin.ReadPda(&file, header.dwPdaSize)) {
    return FALSE;
  }
  // The phone image directly behind it, where dwPhoneOffset says.
  const std::uint64_t phoneStart = static_cast<std::uint64_t>(pdaStart) + header.dwPdaSize;
  if (!LiesInside(phoneStart, header.dwPhoneSize, recordAt) ||
      !m_PhoneFile.LoadFromFile(&file, header.dwPhoneSize)) {
    return FALSE;
  }
  // A complete set: the flags, the options, the table, the loaded flag.
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
