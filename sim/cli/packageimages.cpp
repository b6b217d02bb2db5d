#include "sim/cli/packageimages.h"

#include "firmware/imageset.h"

namespace tw::sim {

bool LoadPackageImages(const std::string& path, SimImages* images, std::string* error) {
  CImageSet set;
  if (!set.LoadAttachedImages(path)) {
    *error = path + ": no complete image set in this file: " + set.m_strLoadError;
    return false;
  }
  const ImageTable& table = set.m_ImageTable;
  images->hasEboot = set.m_bDownEboot.load() != 0 && table.pEbootBin;
  if (images->hasEboot) {
    images->eboot.assign(table.pEbootBin->m_pEboot, table.pEbootBin->m_pEboot + table.dwEbootSize);
  }
  const BYTE* pda = table.pPdaBin ? table.pPdaBin->m_pPda : nullptr;
  images->os.assign(pda, pda ? pda + table.dwPdaSize : pda);
  // The phone image from its download packets; the last packet's bytes past
  // the image's end are what the host sends there.
  const CDloadFile& phone = set.m_PhoneFile;
  images->phone.clear();
  images->phoneTail.clear();
  for (DWORD i = 0; i < phone.GetPacketCount(); ++i) {
    const BYTE* data = phone.GetPacket(i) + CDloadFile::kDataOffset;
    images->phone.insert(images->phone.end(), data, data + CDloadFile::kDataSize);
  }
  if (images->phone.size() > phone.GetSize()) {
    images->phoneTail.assign(images->phone.begin() + phone.GetSize(), images->phone.end());
    images->phone.resize(phone.GetSize());
  }
  images->phoneFullSet = set.m_bPhoneFullSet.load() != 0;
  return true;
}

}  // namespace tw::sim
