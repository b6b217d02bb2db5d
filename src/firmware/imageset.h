// The firmware set that the main dialog's logic owns: the EBOOT and PDA
// buffers, the phone image cut into packets, the image table and the flags
// that tell the download stages which images to write. UI-free.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "firmware/bufbin.h"
#include "firmware/dloadfile.h"
#include "firmware/imageheader.h"
#include "firmware/imagetable.h"
#include "platform/wintypes.h"

namespace tw {

class CImageSet {
 public:
  CImageSet() = default;
  virtual ~CImageSet() = default;
  CImageSet(const CImageSet&) = delete;
  CImageSet& operator=(const CImageSet&) = delete;

  // Loads the package appended to the file at path (empty: the running
  // executable): reads sImageHeader from the last 36 bytes, the EBOOT image
  // (when dwEbootOffset and dwEbootSize are both non-zero) from
  // dwEbootOffset, the PDA image from where the EBOOT ended (from
  // dwPdaOffset when there is none), the phone image behind the PDA image,
  // and sets the flags and the image table. Shows nothing, logs nothing.
  //
  // TRUE exactly when a complete image set was loaded. The download-running
  // flag m_bRundnload belongs to the dialog logic: a successful load clears
  // it, so the caller clears it when this returns TRUE.
  //
  // Refused before anything is allocated, changing nothing (FALSE): a file
  // that cannot be opened, one shorter than 36 bytes, a wrong dwMagic, an
  // EBOOT image that does not lie inside the file. A PDA or phone image that
  // does not lie between its start and the end of the file is a short read:
  // it is not allocated, the result is FALSE, and an EBOOT image read before
  // it stays loaded and flagged.
  BOOL LoadAttachedImages(const std::string& path = {});

  // Zeroes the image table (dialog initialisation does this first).
  void ZeroImageTable() { m_ImageTable = ImageTable{}; }

  CBufBin m_EbootBin;
  CBufBin m_PdaBin;
  CDloadFile m_PhoneFile;
  ImageTable m_ImageTable;

  // 0 or 1; read by the download workers, hence atomic.
  std::atomic<int> m_bDownEboot{0};
  std::atomic<int> m_bDownPda{0};
  std::atomic<int> m_bDownPhone{0};
  // Copies of dwPhoneFullSet and dwPhoneExtraCmd, as stored.
  std::atomic<int> m_bPhoneFullSet{0};
  std::atomic<int> m_bPhoneExtraCmd{0};
  // The images-loaded flag: set when a complete image set is loaded.
  std::atomic<int> m_bImageLoaded{0};

 private:
  BOOL LoadEboot(CFile& file, const sImageHeader& header);
  void SkipEboot(CFile& file, const sImageHeader& header);
  BOOL LoadPdaAndPhone(CFile& file, const sImageHeader& header);
};

}  // namespace tw
