// Choosing the EBOOT, PDA and phone images from files: what replaces the
// current image, the description texts, the flags, and what is refused.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/imageset.h"
#include "tests/tools/recordingtools.h"
#include "tests/tools/scratchdir.h"
#include "tools/devtools.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

class ImageSelectTest : public ::testing::Test, protected RecordingTools {
 protected:
  BOOL Choose(BOOL (CDevTools::*command)(), std::optional<std::string> path) {
    m_chosen = std::move(path);
    return (m_tools.*command)();
  }

  ScratchDir m_dir;
};

// The path and size of a selected file's description, when it has the four
// lines with a time of the form yy/mm/dd-HH:MM:SS.
struct Described {
  std::string path, size;
};
std::optional<Described> ParseDescription(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(text.substr(at, end - at));
  }
  if (lines.size() != 4 || lines[0] != "[Binary File]" || lines[2].rfind("size:", 0) != 0 ||
      lines[2].size() < 11 || lines[2].substr(lines[2].size() - 6) != " bytes" ||
      lines[3].rfind("updated:", 0) != 0) {
    return std::nullopt;
  }
  const std::string time = lines[3].substr(8);
  const std::string shape = "00/00/00-00:00:00";
  if (time.size() != shape.size()) return std::nullopt;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == '0' ? !std::isdigit(static_cast<unsigned char>(time[i])) : time[i] != shape[i]) {
      return std::nullopt;
    }
  }
  return Described{lines[1], lines[2].substr(5, lines[2].size() - 11)};
}

TEST_F(ImageSelectTest, EbootAndPdaFilesReplaceTheirImages) {
  struct BinCase {
    BOOL (CDevTools::*command)();
    int part;
    std::size_t size;
    const char* filter;
  };
  const BinCase cases[] = {
      {&CDevTools::OpenEbootFile, kPartEboot, 0, "Eboot ROM Image (*.nb0)|*.nb0|"},  // 0 bytes are accepted
      {&CDevTools::OpenEbootFile, kPartEboot, 5000, "Eboot ROM Image (*.nb0)|*.nb0|"},
      {&CDevTools::OpenPdaFile, kPartPda, 70000, "PDA ROM Image (*.bin)|*.bin|"},
  };
  for (const BinCase& c : cases) {
    const Bytes bytes = SeededBytes(c.size, 4);
    const std::string path = (m_dir.Path() / "chosen.img").string();
    WriteBytes(path, bytes);
    m_filters.clear();
    m_flags.clear();
    m_taken.clear();
    ASSERT_TRUE(Choose(c.command, path)) << c.size;
    EXPECT_EQ(m_filters, std::vector<std::string>{c.filter});
    EXPECT_EQ(m_flags, std::vector<DWORD>{OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT});

    const ImageTable& table = m_images.m_ImageTable;
    if (c.part == kPartEboot) {
      ASSERT_EQ(table.pEbootBin, &m_images.m_EbootBin);
      EXPECT_EQ(table.dwEbootSize, c.size);
      EXPECT_EQ(Bytes(m_images.m_EbootBin.m_pEboot, m_images.m_EbootBin.m_pEboot + c.size), bytes);
    } else {
      ASSERT_EQ(table.pPdaBin, &m_images.m_PdaBin);
      EXPECT_EQ(table.dwPdaSize, c.size);
      EXPECT_EQ(Bytes(m_images.m_PdaBin.m_pPda, m_images.m_PdaBin.m_pPda + c.size), bytes);
    }
    const std::optional<Described> described = ParseDescription(m_tools.m_strImageDesc[c.part]);
    ASSERT_TRUE(described) << m_tools.m_strImageDesc[c.part];
    EXPECT_EQ(described->path, path);
    EXPECT_EQ(described->size, std::to_string(c.size));
    EXPECT_EQ(m_tools.m_strImagePath[c.part], path);
    EXPECT_EQ(m_images.m_bImageLoaded, 1);
    EXPECT_EQ(m_taken,
              std::vector<ImageChoice>{c.part == kPartEboot ? ImageChoice::Eboot : ImageChoice::Pda});
    EXPECT_TRUE(m_messages.empty());
  }
}

TEST_F(ImageSelectTest, DescriptionTimeIsLocalTime) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(SelectedFileDescription("/x/e.nb0", 12, 1164636239),
            "[Binary File]\r\n/x/e.nb0\r\nsize:12 bytes\r\nupdated:06/11/27-14:03:59\r\n");
}

TEST_F(ImageSelectTest, FileThatCannotBeOpenedLeavesTheFlagClear) {
  m_images.m_bImageLoaded = 1;
  fs::create_directory("dir.nb0");
  for (const std::string& path : {std::string("absent.nb0"), std::string("dir.nb0")}) {
    m_messages.clear();
    EXPECT_FALSE(Choose(&CDevTools::OpenEbootFile, path)) << path;
    EXPECT_EQ(m_messages, std::vector<std::string>{"Can not open file!!"});
    EXPECT_EQ(m_tools.m_strImageDesc[kPartEboot], "[Binary File]\r\n");
    EXPECT_EQ(m_images.m_bImageLoaded, 0);
    EXPECT_EQ(m_images.m_ImageTable.pEbootBin, nullptr);
  }
  EXPECT_TRUE(m_taken.empty());
}

TEST_F(ImageSelectTest, CancelAfterASelectionOnlyChangesTheText) {
  WriteBytes("pda.bin", SeededBytes(64, 5));
  ASSERT_TRUE(Choose(&CDevTools::OpenPdaFile, "pda.bin"));
  for (auto command : {&CDevTools::OpenPdaFile, &CDevTools::OpenPhoneFile, &CDevTools::OpenEbootFile}) {
    EXPECT_FALSE(Choose(command, std::nullopt));
  }
  EXPECT_EQ(m_images.m_ImageTable.pPdaBin, &m_images.m_PdaBin);
  EXPECT_EQ(m_images.m_ImageTable.dwPdaSize, 64u);
  EXPECT_EQ(m_images.m_bImageLoaded, 1);
  for (const std::string& text : m_tools.m_strImageDesc) EXPECT_EQ(text, kSelectCorrectImage);
}

TEST_F(ImageSelectTest, PhoneFileByNameAndSize) {
  struct PhoneCase {
    const char* name;
    std::uint64_t size;
    bool taken;
    bool refusedText;  // the description asks for an image again
  };
  const PhoneCase cases[] = {
      {"IMAGE.BIN", 3000, true, false},
      {"Mixed.Bin", 1024, true, false},
      {"image.bin.txt", 3000, false, false},
      {"image.nb0", 3000, false, false},
      {"exact.bin", 20000000, true, false},
      {"over.bin", 20000001, false, true},
      {"beyond32bits.bin", 0x100000000ull + 100, false, true},  // not its low 100 bytes
  };
  // A phone image is current before each choice.
  WriteBytes("first.bin", SeededBytes(5000, 6));
  for (const PhoneCase& c : cases) {
    ASSERT_TRUE(Choose(&CDevTools::OpenPhoneFile, "first.bin"));
    const std::string desc = m_tools.m_strImageDesc[kPartPhone];
    { std::ofstream out(c.name, std::ios::binary); }
    fs::resize_file(c.name, c.size);
    m_filters.clear();
    EXPECT_EQ(Choose(&CDevTools::OpenPhoneFile, c.name), c.taken ? TRUE : FALSE) << c.name;
    EXPECT_EQ(m_filters, std::vector<std::string>{"Phone Binary (*.bin)|*.BIN|"});
    EXPECT_EQ(m_flags.back(), OFN_HIDEREADONLY);
    EXPECT_EQ(m_images.m_bImageLoaded, 1) << c.name;
    const DWORD size = c.taken ? static_cast<DWORD>(c.size) : 5000u;
    EXPECT_EQ(m_images.m_ImageTable.dwPhoneSize, size) << c.name;
    EXPECT_EQ(m_images.m_PhoneFile.GetSize(), size) << c.name;
    EXPECT_EQ(m_images.m_PhoneFile.GetPacketCount(), (size + 1023) / 1024) << c.name;
    if (c.taken) {
      const std::optional<Described> described = ParseDescription(m_tools.m_strImageDesc[kPartPhone]);
      ASSERT_TRUE(described) << m_tools.m_strImageDesc[kPartPhone];
      EXPECT_EQ(described->path, c.name);
      EXPECT_EQ(m_tools.m_strImagePath[kPartPhone], c.name);
    } else {
      EXPECT_EQ(m_tools.m_strImageDesc[kPartPhone], c.refusedText ? std::string(kSelectCorrectImage) : desc)
          << c.name;
    }
    fs::remove(c.name);
  }
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(ImageSelectTest, PhoneFileThatCannotBeOpenedKeepsTheCurrentImage) {
  WriteBytes("first.bin", SeededBytes(2048, 6));
  ASSERT_TRUE(Choose(&CDevTools::OpenPhoneFile, "first.bin"));
  EXPECT_FALSE(Choose(&CDevTools::OpenPhoneFile, "absent.bin"));
  EXPECT_EQ(m_messages, std::vector<std::string>{" Fail to read from absent.bin\n Please Check bin_file !"});
  EXPECT_EQ(m_images.m_PhoneFile.GetPacketCount(), 2u);
  EXPECT_EQ(m_images.m_bImageLoaded, 1);
}

TEST_F(ImageSelectTest, ImagesStayWhileADownloadRuns) {
  WriteBytes("pda.bin", SeededBytes(64, 5));
  ASSERT_TRUE(Choose(&CDevTools::OpenPdaFile, "pda.bin"));
  m_filters.clear();
  m_downloadRunning = true;
  m_taken.clear();
  for (auto command : {&CDevTools::OpenEbootFile, &CDevTools::OpenPdaFile, &CDevTools::OpenPhoneFile}) {
    EXPECT_FALSE(Choose(command, "pda.bin"));
  }
  EXPECT_EQ(m_tools.OpenOneFileImage(), CDevTools::kOneFileDownloadRunning);
  EXPECT_EQ(m_messages, std::vector<std::string>(4, kDownloadRunning));
  EXPECT_TRUE(m_filters.empty()) << "no file dialog";
  EXPECT_EQ(m_images.m_ImageTable.pEbootBin, nullptr);
  EXPECT_EQ(m_images.m_ImageTable.dwPdaSize, 64u);
  EXPECT_EQ(m_images.m_bImageLoaded, 1);
  EXPECT_TRUE(m_taken.empty());
}

TEST_F(ImageSelectTest, ImageBeyond32BitsIsNotTakenCutShort) {
  { std::ofstream out("huge.nb0"); }
  fs::resize_file("huge.nb0", 0x100000000ull + 100);
  m_images.m_bImageLoaded = 1;
  EXPECT_FALSE(Choose(&CDevTools::OpenEbootFile, "huge.nb0"));
  EXPECT_EQ(m_messages, std::vector<std::string>{"Can not read all of huge.nb0!!"});
  EXPECT_EQ(m_images.m_bImageLoaded, 0);
  EXPECT_EQ(m_images.m_ImageTable.pEbootBin, nullptr);
  EXPECT_EQ(m_images.m_ImageTable.dwEbootSize, 0u);
}

}  // namespace
}  // namespace tw::test
