// Choosing the EBOOT, PDA and phone images from files: what replaces the
// current image, the description texts, the flags, and what is refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "app/imageset.h"
#include "tests/tools/scratchdir.h"
#include "tools/devtools.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

class ImageSelectTest : public ::testing::Test {
 protected:
  ImageSelectTest() {
    m_tools.SetCallbacks(ToolCallbacks{[this](const std::string& text) { m_messages.push_back(text); },
                                       [this](const std::string& filter, DWORD flags) {
                                         m_filters.push_back(filter);
                                         m_flags.push_back(flags);
                                         return m_chosen;
                                       }});
  }
  BOOL Choose(BOOL (CDevTools::*command)(), std::optional<std::string> path) {
    m_chosen = std::move(path);
    return (m_tools.*command)();
  }

  ScratchDir m_dir;
  CImageSet m_images;
  DownloadOwnerFlags m_owner;
  CDevTools m_tools{m_images, m_owner};
  std::optional<std::string> m_chosen;
  std::vector<std::string> m_messages, m_filters;
  std::vector<DWORD> m_flags;
};

const std::regex kDescription(
    "\\[Binary File\\]\r\n(.*)\r\nsize:([0-9]+) "
    "bytes\r\nupdated:[0-9]{2}/[0-9]{2}/[0-9]{2}-[0-9]{2}:[0-9]{2}:[0-9]{2}\r\n");

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
    m_owner.m_bRundnload = 1;
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
    std::smatch match;
    ASSERT_TRUE(std::regex_match(m_tools.m_strImageDesc[c.part], match, kDescription))
        << m_tools.m_strImageDesc[c.part];
    EXPECT_EQ(match[1], path);
    EXPECT_EQ(match[2], std::to_string(c.size));
    EXPECT_EQ(m_tools.m_strImagePath[c.part], path);
    EXPECT_EQ(m_images.m_bImageLoaded, 1);
    EXPECT_EQ(m_owner.m_bRundnload, 0);
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
      {"IMAGE.BIN", 3000, true, false},      {"Mixed.Bin", 1024, true, false},
      {"image.bin.txt", 3000, false, false}, {"image.nb0", 3000, false, false},
      {"exact.bin", 20000000, true, false},  {"over.bin", 20000001, false, true},
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
      std::smatch match;
      ASSERT_TRUE(std::regex_match(m_tools.m_strImageDesc[kPartPhone], match, kDescription));
      EXPECT_EQ(match[1], c.name);
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

}  // namespace
}  // namespace tw::test
