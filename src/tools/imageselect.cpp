// The image selections of the developer tools: an EBOOT, PDA or phone image
// from a file that the user picks replaces the current one.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <ctime>

#include "firmware/dloadfile.h"
#include "tools/devtools.h"

namespace tw {

namespace {

constexpr const char* kEbootFilter = "Eboot ROM Image (*.nb0)|*.nb0|";
constexpr const char* kPdaFilter = "PDA ROM Image (*.bin)|*.bin|";
constexpr const char* kPhoneFilter = "Phone Binary (*.bin)|*.BIN|";
constexpr const char* kBinaryFileTitle = "[Binary File]\r\n";
constexpr std::uint64_t kMaxImageFileSize = 0xFFFFFFFFu;

std::string LocalTimeText(std::time_t time) {
  const std::tm* local = std::localtime(&time);
  char text[64] = "";
  if (local == nullptr || std::strftime(text, sizeof text, "%y/%m/%d-%H:%M:%S", local) == 0) {
    return {};
  }
  return text;
}

}  // namespace

bool IsPhoneBinaryName(const std::string& path) {
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".bin") == 0;
}

std::string SelectedFileDescription(const std::string& path, DWORD size, std::time_t modified) {
  return std::string(kBinaryFileTitle) + path + "\r\n" + "size:" + std::to_string(size) + " bytes\r\n" +
         "updated:" + LocalTimeText(modified) + "\r\n";
}

BOOL CDevTools::OpenEbootFile() {
  return OpenBinFile(kPartEboot, kEbootFilter, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
}

BOOL CDevTools::OpenPdaFile() {
  return OpenBinFile(kPartPda, kPdaFilter, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
}

// The EBOOT and PDA selections: one procedure on the members of the part.
BOOL CDevTools::OpenBinFile(int part, const char* filter, DWORD flags) {
  if (RefusedWhileDownloading()) {
    return FALSE;
  }
  // The file; cancelling only asks for an image again.
  std::optional<std::string> path = ChooseFile(filter, flags, &part);
  if (!path) {
    return FALSE;
  }
  // Nothing counts as loaded until this image is.
  m_Images.m_bImageLoaded = 0;
  m_strImageDesc[part] = kBinaryFileTitle;
  m_strImagePath[part] = *path;
  // Open it; a directory or device is no image file.
  CFile file;
  if (!file.Open(*path, CFile::modeRead) || !file.GetStatus(m_FileStatus) || !m_FileStatus.m_regular) {
    Message("Can not open file!!");
    return FALSE;
  }
  // Sizes are 32-bit: a larger file would be taken cut short.
  if (m_FileStatus.m_size > kMaxImageFileSize) {
    Message("Can not read all of " + *path + "!!");
    return FALSE;
  }
  // Path, size and time into the description; the size into the table.
  const DWORD size = static_cast<DWORD>(m_FileStatus.m_size);
  m_strImageDesc[part] = SelectedFileDescription(*path, size, m_FileStatus.m_mtime);
  ImageTable& table = m_Images.m_ImageTable;
  (part == kPartEboot ? table.dwEbootSize : table.dwPdaSize) = size;
  // The whole file into the buffer of the part.
  DWORD read =
      part == kPartEboot ? m_Images.m_EbootBin.LoadEbootFile(&file) : m_Images.m_PdaBin.LoadPdaFile(&file);
  file.Close();
  // A buffer that does not hold the whole image must not be downloaded.
  if (read != size) {
    Message("Can not read all of " + *path + "!!");
    return FALSE;
  }
  // The buffer is the current image.
  if (part == kPartEboot) {
    table.pEbootBin = &m_Images.m_EbootBin;
  } else {
    table.pPdaBin = &m_Images.m_PdaBin;
  }
  SetImagesLoaded(part == kPartEboot ? ImageChoice::Eboot : ImageChoice::Pda);
  return TRUE;
}

BOOL CDevTools::OpenPhoneFile() {
  if (RefusedWhileDownloading()) {
    return FALSE;
  }
  // The file; cancelling only asks for an image again.
  const int part = kPartPhone;
  std::optional<std::string> path = ChooseFile(kPhoneFilter, OFN_HIDEREADONLY, &part);
  if (!path) {
    return FALSE;
  }
  // Only a ".bin" file, in any case, is taken; others are ignored.
  if (!IsPhoneBinaryName(*path)) {
    return FALSE;
  }
  // The path as chosen: file names differ by case here.
  m_strImagePath[kPartPhone] = *path;
  // Open and measure it aside, so that a file that cannot be opened
  // or is too large leaves the current phone image whole.
  CDloadFile probe;
  probe.SetMessageSink(m_Callbacks.messageBox);
  CFile file;
  CFileStatus status;
  if (!probe.OpenFile(*path) || !file.Open(*path) || !file.GetStatus(status)) {
    return FALSE;
  }
  // The whole length counts: the reader keeps only its low 32 bits.
  const DWORD size = probe.GetSize();
  if (status.m_size > kMaxPhoneFileSize) {
    m_strImageDesc[kPartPhone] = kSelectCorrectImage;
    return FALSE;
  }
  // Its description and size.
  m_strImageDesc[kPartPhone] = SelectedFileDescription(*path, size, status.m_mtime);
  m_Images.m_ImageTable.dwPhoneSize = size;
  // The phone reader takes it and cuts it into packets.
  if (!m_Images.m_PhoneFile.OpenFile(*path) || !m_Images.m_PhoneFile.MakePackets()) {
    m_Images.m_bImageLoaded = 0;
    m_strImageDesc[kPartPhone] = kSelectCorrectImage;
    return FALSE;
  }
  // Loaded.
  SetImagesLoaded(ImageChoice::Phone);
  return TRUE;
}

}  // namespace tw
