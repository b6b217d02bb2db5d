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
  // executable): reads sImageHeader from the last 36 bytes, validates the
  // layout it describes (ValidatePackage), reads the EBOOT image (when there
  // is one) from dwEbootOffset, the PDA image behind it (from dwPdaOffset
  // without one), the phone image behind the PDA image, and sets the flags
  // and the image table. Shows nothing, logs nothing (a trace line says why
  // a load failed).
  //
  // TRUE exactly when a complete image set was loaded. The download-running
  // flag m_bRundnload belongs to the dialog logic: a successful load clears
  // it, so the caller clears it when this returns TRUE.
  //
  // A file that cannot be opened and a package the validation refuses change
  // nothing (FALSE; m_strLoadError says "no package: " and why). A package cut
  // off inside its PDA or phone image is a short read: the cut image is not
  // allocated, the result is FALSE, and an EBOOT image read before it stays
  // loaded and flagged.
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
  // Why the last LoadAttachedImages took no complete image set; empty after
  // a complete load.
  std::string m_strLoadError;

 private:
  BOOL Fail(const std::string& reason);  // keeps the reason and traces it; FALSE
  BOOL LoadEboot(CFile& file, const sImageHeader& header);
  void SkipEboot(CFile& file, const sImageHeader& header);
  BOOL LoadPdaAndPhone(CFile& file, const sImageHeader& header);
};

}  // namespace tw
