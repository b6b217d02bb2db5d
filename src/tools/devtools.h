// The developer commands of the main dialog and the state they keep: the
// three tool INI sets, the image selections from files, the one-file image
// and the merge, and the description text of each current image. UI-free:
// message boxes and the file-open dialog are callbacks.
#pragma once
#include <array>
#include <functional>
#include <string>

#include "firmware/imageset.h"
#include "platform/file.h"
#include "platform/wintypes.h"
#include "tools/ini.h"
#include "tools/mergeset.h"
#include "tools/onefileloader.h"
#include "tools/toolmessages.h"

namespace tw {

// The INI files of the tools, in the current directory.
inline constexpr const char* kMergeIniName = "\\Vellumark.ini";
inline constexpr const char* kMsMergeIniName = "\\TidewellMs.ini";
inline constexpr const char* kOneFileIniName = "\\OneImgMergy.ini";

// The description text of an image that was not taken.
inline constexpr const char* kSelectCorrectImage = "Select the Correct Image File!";
// The message of an image command while a download runs.
inline constexpr const char* kDownloadRunning = "A download is running: the images cannot be replaced now.";
// The largest phone binary a selection takes.
inline constexpr DWORD kMaxPhoneFileSize = 20000000;

// What a command took: one image from its file, or all three from a
// one-file image.
enum class ImageChoice { Eboot, Pda, Phone, OneFile };

// What the tools ask of their owner, the dialog's logic, and what they hand
// back to it. Either may be empty: no download runs, and nobody is told.
struct DevToolsOwner {
  // True while a download runs: its workers read the images, so no command
  // may replace them.
  std::function<bool()> downloadRunning;
  // A command replaced the current images with what it took; the owner
  // updates its own state (the images-loaded flag is set already).
  std::function<void(ImageChoice)> imagesTaken;
};

class CDevTools {
 public:
  // images holds the current images and the images-loaded flag, and must
  // outlive the tools.
  explicit CDevTools(CImageSet& images, DevToolsOwner owner = {},
                     ToolCallbacks callbacks = StderrToolCallbacks());
  CDevTools(const CDevTools&) = delete;
  CDevTools& operator=(const CDevTools&) = delete;

  void SetCallbacks(ToolCallbacks callbacks) { m_Callbacks = std::move(callbacks); }
  const ToolCallbacks& Callbacks() const { return m_Callbacks; }

  // The INI readers of dialog initialisation, in this order: the two merge
  // INI files into sets 1 and 2, then the one-file INI into set 3. A missing
  // file changes nothing; a merge INI beyond the sets' room is refused with
  // a message.
  void ReadIniFiles();
  void LoadMergeIni(const std::string& iniName, MergeSet& set);
  void LoadOneFileIni();
  // The same readers on an INI file named by path.
  void ReadMergeIni(const CIniProfile& ini, MergeSet& set);
  void ReadOneFileIni(const CIniProfile& ini);

  // Image selection: a file-open dialog, then the image replaces the
  // current one. TRUE when the image was taken (and the owner is told).
  // While a download runs, its workers read the images: this and the
  // one-file image's loading are refused then, with kDownloadRunning.
  BOOL OpenEbootFile();
  BOOL OpenPdaFile();
  BOOL OpenPhoneFile();

  // The one-file image: make it from set 3 (0 or a WriteOneFileImage
  // code), or open one and load it (0, a LoadOneFileImage code,
  // kOneFileCancelled or kOneFileDownloadRunning).
  static constexpr int kOneFileCancelled = 1;
  static constexpr int kOneFileDownloadRunning = 2;
  int MakeOneFileImage();
  int OpenOneFileImage();
  int LoadOneFileImage(const std::string& path);

  // Merges set 1 into its output file. 0 or a MergeResult.
  int MergeImages();

  // Sets 1 ("\\Vellumark.ini"), 2 ("\\TidewellMs.ini") and 3
  // ("\\OneImgMergy.ini").
  std::array<MergeSet, 3> m_MergeSets;
  MergeSet& m_OneFileSet = m_MergeSets[2];
  std::string m_strOneFileDir;   // FILE_DIR of the one-file INI
  std::string m_strOneFilePath;  // the one-file image last opened
  // Per image (EBOOT, PDA, PHONE): the file last chosen and its description.
  std::array<std::string, kPartCount> m_strImagePath;
  ImageTexts m_strImageDesc;
  // The status of the last EBOOT or PDA file chosen.
  CFileStatus m_FileStatus;

 private:
  BOOL OpenBinFile(int part, const char* filter, DWORD flags);
  // The file-open dialog: the chosen path, or nullopt on Cancel. A
  // selection that is cancelled asks for its image again (pPart).
  std::optional<std::string> ChooseFile(const char* filter, DWORD flags, const int* pPart = nullptr);
  void SetImagesLoaded(ImageChoice choice);
  bool RefusedWhileDownloading() const;
  void Message(const std::string& text) const;

  CImageSet& m_Images;
  DevToolsOwner m_Owner;
  ToolCallbacks m_Callbacks;
};

// A phone binary's name ends in ".bin", in any case.
bool IsPhoneBinaryName(const std::string& path);

// The four-line description of a selected file: "[Binary File]", the path,
// "size:%d bytes" and "updated:%y/%m/%d-%H:%M:%S" in local time (empty when
// the time cannot be converted), each line ended by "\r\n".
std::string SelectedFileDescription(const std::string& path, DWORD size, std::time_t modified);

}  // namespace tw
