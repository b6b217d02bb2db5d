#include "tools/devtools.h"

#include "tools/merge.h"
#include "tools/onefilewriter.h"
#include "tools/toolpath.h"

namespace tw {

namespace {

constexpr const char* kOneFileSection = "ONEFILE_IMAGE";
constexpr const char* kOneFileFilter = "One File Mergy Image (*.img)|*.img|";

}  // namespace

CDevTools::CDevTools(CImageSet& images, DevToolsOwner owner, ToolCallbacks callbacks)
    : m_Images(images), m_Owner(std::move(owner)), m_Callbacks(std::move(callbacks)) {}

void CDevTools::Message(const std::string& text) const {
  if (m_Callbacks.messageBox) {
    m_Callbacks.messageBox(text);
  }
}

std::optional<std::string> CDevTools::ChooseFile(const char* filter, DWORD flags, const int* pPart) {
  std::optional<std::string> path;
  if (m_Callbacks.openFileName) {
    path = m_Callbacks.openFileName(filter, flags);
  }
  if (!path && pPart != nullptr) {
    m_strImageDesc[*pPart] = kSelectCorrectImage;
  }
  return path;
}

bool CDevTools::RefusedWhileDownloading() const {
  if (!m_Owner.downloadRunning || !m_Owner.downloadRunning()) {
    return false;
  }
  Message(kDownloadRunning);
  return true;
}

void CDevTools::SetImagesLoaded(ImageChoice choice) {
  m_Images.m_bImageLoaded = 1;
  if (m_Owner.imagesTaken) {
    m_Owner.imagesTaken(choice);
  }
}

void CDevTools::ReadIniFiles() {
  LoadMergeIni(kMergeIniName, m_MergeSets[0]);
  LoadMergeIni(kMsMergeIniName, m_MergeSets[1]);
  LoadOneFileIni();
}

void CDevTools::LoadMergeIni(const std::string& iniName, MergeSet& set) {
  ReadMergeIni(CIniProfile(IniPathInCurrentDir(iniName)), set);
}

void CDevTools::ReadMergeIni(const CIniProfile& ini, MergeSet& set) {
  std::string refused = ReadMergeSet(ini, set);
  if (!refused.empty()) {
    Message(refused);
  }
}

void CDevTools::LoadOneFileIni() {
  ReadOneFileIni(CIniProfile(IniPathInCurrentDir(kOneFileIniName)));
}

void CDevTools::ReadOneFileIni(const CIniProfile& ini) {
  m_OneFileSet.nCount = ini.GetInt("FILE_COUNT", kOneFileSection);
  m_strOneFileDir = ini.GetString("FILE_DIR", kOneFileSection);
  m_OneFileSet.entries[kPartEboot].strFileName = ini.GetString("EBOOT_NAME", kOneFileSection);
  m_OneFileSet.entries[kPartPda].strFileName = ini.GetString("PDA_NAME", kOneFileSection);
  m_OneFileSet.entries[kPartPhone].strFileName = ini.GetString("PHONE_NAME", kOneFileSection);
  m_OneFileSet.strOutputFile = ToolPath(ini.GetString("OUTPUT_FILE", kOneFileSection));
}

int CDevTools::MakeOneFileImage() {
  int code = WriteOneFileImage(
      m_OneFileSet.strOutputFile, m_strOneFileDir, m_OneFileSet.entries[kPartEboot].strFileName,
      m_OneFileSet.entries[kPartPda].strFileName, m_OneFileSet.entries[kPartPhone].strFileName);
  Message(code == 0 ? std::string("Make OneFileMergy Success !")
                    : "MakeOneFile Error " + std::to_string(code));
  return code;
}

int CDevTools::LoadOneFileImage(const std::string& path) {
  return LoadOneFileImageInto(path, m_Images, m_strImageDesc);
}

int CDevTools::OpenOneFileImage() {
  if (RefusedWhileDownloading()) {
    return kOneFileDownloadRunning;
  }
  // The image to open; cancelling changes nothing.
  std::optional<std::string> path = ChooseFile(kOneFileFilter, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  if (!path) {
    return kOneFileCancelled;
  }
  // Nothing is loaded until the whole image is.
  m_Images.m_bImageLoaded = 0;
  m_strOneFilePath = *path;
  // Load it.
  int code = LoadOneFileImage(*path);
  if (code == 0) {
    SetImagesLoaded(ImageChoice::OneFile);
    return 0;
  }
  // A failure: the unsupported format and a refused part name have a
  // message; every failure leaves the texts asking for an image.
  if (code == kLoadBadTag) {
    Message("This file is Unsupported format !!");
  } else if (code == kLoadUnsafeName) {
    Message(
        "One-file image refused: a part's name is not a plain file name of the current directory; "
        "nothing was extracted.");
  }
  m_strImageDesc.fill(kSelectCorrectImage);
  return code;
}

int CDevTools::MergeImages() {
  return MergeSetImages(
      m_MergeSets[0], m_Callbacks.messageBox ? m_Callbacks.messageBox : [](const std::string&) {});
}

}  // namespace tw
