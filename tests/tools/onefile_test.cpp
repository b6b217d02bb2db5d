// The one-file image: the maker's layout and codes, the loader's codes, what
// a load extracts and makes current, and part names that would reach outside
// the current directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/imageset.h"
#include "platform/byteorder.h"
#include "tests/tools/recordingtools.h"
#include "tests/tools/scratchdir.h"
#include "tools/devtools.h"
#include "tools/onefileheader.h"
#include "tools/onefileloader.h"
#include "tools/onefilewriter.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

// A one-file image put together by hand: a header with these names and
// sizes, then the bodies.
Bytes ImageBytes(const std::array<std::string, kPartCount>& names,
                 const std::array<Bytes, kPartCount>& bodies) {
  OneFileHeader header = OneFileHeader::Make(names);
  Bytes image(header.bytes.begin(), header.bytes.end());
  for (int part = 0; part < kPartCount; ++part) {
    StoreLe32(image.data() + OneFileHeader::SizeOffset(part),
              static_cast<std::uint32_t>(bodies[part].size()));
    image.insert(image.end(), bodies[part].begin(), bodies[part].end());
  }
  return image;
}

class OneFileTest : public ::testing::Test, protected RecordingTools {
 protected:
  ScratchDir m_dir;
  const std::array<std::string, kPartCount> m_names{"eboot.nb0", "pda.bin", "phone.bin"};
  const std::array<Bytes, kPartCount> m_bodies{SeededBytes(100, 1), SeededBytes(3000, 2),
                                               SeededBytes(2049, 3)};
};

TEST_F(OneFileTest, MakerWritesTheHeaderThenTheThreeFiles) {
  fs::create_directory("src");
  for (int part = 0; part < kPartCount; ++part) WriteBytes(fs::path("src") / m_names[part], m_bodies[part]);
  // An earlier, longer output is replaced.
  WriteBytes("out.img", SeededBytes(10000, 9));
  WriteText("OneImgMergy.ini",
            "[ONEFILE_IMAGE]\nFILE_COUNT=3\nFILE_DIR=" + (m_dir.Path() / "src").string() +
                "\nEBOOT_NAME=eboot.nb0\nPDA_NAME=pda.bin\nPHONE_NAME=phone.bin\nOUTPUT_FILE=out.img\n");
  m_tools.ReadIniFiles();
  EXPECT_EQ(m_tools.m_OneFileSet.nCount, 3);

  ASSERT_EQ(m_tools.MakeOneFileImage(), 0);
  EXPECT_EQ(m_messages, std::vector<std::string>{"Make OneFileMergy Success !"});
  const Bytes image = ReadBytes("out.img");
  EXPECT_EQ(image, ImageBytes(m_names, m_bodies));
  // The fixed offsets of the layout.
  ASSERT_EQ(image.size(), 812u + 100 + 3000 + 2049);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data()), 13), std::string("QX7 KORV-352\0", 13));
  EXPECT_EQ(LoadLe32(image.data() + 20), 100u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data() + 24)), "eboot.nb0");
  EXPECT_EQ(LoadLe32(image.data() + 284), 3000u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data() + 288)), "pda.bin");
  EXPECT_EQ(LoadLe32(image.data() + 548), 2049u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data() + 552)), "phone.bin");
}

TEST_F(OneFileTest, MakerCodes) {
  fs::create_directory("src");
  for (int part = 0; part < kPartCount; ++part) WriteBytes(fs::path("src") / m_names[part], m_bodies[part]);
  WriteBytes("src/empty", Bytes{});
  WriteBytes("src/huge", Bytes{});
  fs::resize_file("src/huge", 0x100000000ull);
  const std::string src = (m_dir.Path() / "src").string();
  struct MakerCase {
    const char* what;
    std::string output, eboot, pda, phone;
    int code;
  };
  const MakerCase cases[] = {
      {"EBOOT missing", "o.img", "absent", "pda.bin", "phone.bin", -11},
      {"PDA missing", "o.img", "eboot.nb0", "absent", "phone.bin", -21},
      {"PHONE missing", "o.img", "eboot.nb0", "pda.bin", "absent", -31},
      {"EBOOT empty", "o.img", "empty", "pda.bin", "phone.bin", -15},
      {"PDA empty", "o.img", "eboot.nb0", "empty", "phone.bin", -25},
      {"PHONE empty", "o.img", "eboot.nb0", "pda.bin", "empty", -35},
      {"output in a missing directory", "nodir/o.img", "eboot.nb0", "pda.bin", "phone.bin", -1},
      {"no output name", "", "eboot.nb0", "pda.bin", "phone.bin", -1},
      {"header cannot be written", "/dev/full", "eboot.nb0", "pda.bin", "phone.bin", -2},
      {"PDA beyond 32 bits", "o.img", "eboot.nb0", "huge", "phone.bin", -26},
  };
  for (const MakerCase& c : cases) {
    EXPECT_EQ(WriteOneFileImage(c.output, src, c.eboot, c.pda, c.phone), c.code) << c.what;
  }
  // The message box of the command carries the code.
  EXPECT_EQ(m_tools.MakeOneFileImage(), -1);
  EXPECT_EQ(m_messages, std::vector<std::string>{"MakeOneFile Error -1"});
}

TEST_F(OneFileTest, LoadExtractsThePartsAndMakesThemCurrent) {
  WriteBytes("image.img", ImageBytes(m_names, m_bodies));
  // A file of a part's name is replaced.
  WriteBytes("pda.bin", SeededBytes(50000, 7));
  m_chosen = (m_dir.Path() / "image.img").string();

  ASSERT_EQ(m_tools.OpenOneFileImage(), 0);
  EXPECT_EQ(m_filters, std::vector<std::string>{"One File Mergy Image (*.img)|*.img|"});
  EXPECT_EQ(m_flags, std::vector<DWORD>{OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT});
  EXPECT_TRUE(m_messages.empty());
  for (int part = 0; part < kPartCount; ++part) EXPECT_EQ(ReadBytes(m_names[part]), m_bodies[part]);

  const ImageTable& table = m_images.m_ImageTable;
  ASSERT_EQ(table.pEbootBin, &m_images.m_EbootBin);
  ASSERT_EQ(table.pPdaBin, &m_images.m_PdaBin);
  EXPECT_EQ(table.dwEbootSize, 100u);
  EXPECT_EQ(table.dwPdaSize, 3000u);
  EXPECT_EQ(table.dwPhoneSize, 2049u);
  EXPECT_EQ(Bytes(m_images.m_EbootBin.m_pEboot, m_images.m_EbootBin.m_pEboot + 100), m_bodies[0]);
  EXPECT_EQ(Bytes(m_images.m_PdaBin.m_pPda, m_images.m_PdaBin.m_pPda + 3000), m_bodies[1]);
  ASSERT_EQ(m_images.m_PhoneFile.GetPacketCount(), 3u);
  const BYTE* last = m_images.m_PhoneFile.GetPacket(2) + CDloadFile::kDataOffset;
  EXPECT_EQ(last[0], m_bodies[2][2048]);
  EXPECT_EQ(last[1], 0);

  EXPECT_EQ(m_tools.m_strImageDesc[0], "[Eboot Binary File]\r\neboot.nb0\r\n");
  EXPECT_EQ(m_tools.m_strImageDesc[1], "[Pda Binary File]\r\npda.bin\r\n");
  EXPECT_EQ(m_tools.m_strImageDesc[2], "[Phone Binary File]\r\nphone.bin\r\n");
  EXPECT_EQ(m_tools.m_strOneFilePath, *m_chosen);
  EXPECT_EQ(m_images.m_bImageLoaded, 1);
  EXPECT_EQ(m_taken, std::vector<ImageChoice>{ImageChoice::OneFile});
}

TEST_F(OneFileTest, TagFollowedByANulAndOtherBytesLoads) {
  Bytes image = ImageBytes(m_names, m_bodies);
  for (std::size_t i = 13; i < 20; ++i) image[i] = 0xA5;
  WriteBytes("image.img", image);
  EXPECT_EQ(m_tools.LoadOneFileImage("image.img"), 0);
}

TEST_F(OneFileTest, TagDifferingInAnyCharacterIsUnsupported) {
  const std::string tag = kOneFileTag;
  for (std::size_t i = 0; i <= tag.size(); ++i) {
    Bytes image = ImageBytes(m_names, m_bodies);
    image[i] =
        i < tag.size() ? static_cast<BYTE>(image[i] ^ 0x20) : 'X';  // one character, or no NUL after it
    WriteBytes("bad.img", image);
    m_chosen = "bad.img";
    m_messages.clear();
    m_images.m_bImageLoaded = 1;
    EXPECT_EQ(m_tools.OpenOneFileImage(), kLoadBadTag) << i;
    EXPECT_EQ(m_messages, std::vector<std::string>{"This file is Unsupported format !!"}) << i;
    EXPECT_EQ(m_images.m_bImageLoaded, 0) << i;
    for (const std::string& text : m_tools.m_strImageDesc) EXPECT_EQ(text, kSelectCorrectImage) << i;
  }
  EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"bad.img"});
}

TEST_F(OneFileTest, LoaderCodesWithoutRollback) {
  const Bytes whole = ImageBytes(m_names, m_bodies);
  const std::size_t pdaStart = 812 + 100;
  struct LoadCase {
    const char* what;
    Bytes image;
    int code;
    std::vector<std::string> extracted;
  };
  const LoadCase cases[] = {
      {"empty file", {}, -3, {}},
      {"one byte", Bytes(whole.begin(), whole.begin() + 1), -3, {}},
      {"header cut short", Bytes(whole.begin(), whole.begin() + 811), -3, {}},
      {"ends inside EBOOT", Bytes(whole.begin(), whole.begin() + pdaStart - 1), -5, {}},
      {"ends inside PDA", Bytes(whole.begin(), whole.begin() + pdaStart + 10), -7, {"eboot.nb0"}},
      {"ends inside PHONE", Bytes(whole.begin(), whole.end() - 1), -9, {"eboot.nb0", "pda.bin"}},
  };
  for (const LoadCase& c : cases) {
    ScratchDir dir;
    CImageSet images;
    CDevTools tools(images, m_owner);
    WriteBytes("image.img", c.image);
    EXPECT_EQ(tools.LoadOneFileImage("image.img"), c.code) << c.what;
    std::vector<std::string> names = c.extracted;
    names.push_back("image.img");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(dir.Names(), names) << c.what;
    // Parts before the failure stay loaded.
    EXPECT_EQ(images.m_ImageTable.dwEbootSize, c.extracted.empty() ? 0u : 100u) << c.what;
  }
  EXPECT_EQ(m_tools.LoadOneFileImage("absent.img"), -1);
  EXPECT_EQ(m_tools.LoadOneFileImage(m_dir.Path().string()), -1);
}

TEST_F(OneFileTest, BodySizeZeroGivesAnEmptyPart) {
  WriteBytes("image.img", ImageBytes(m_names, {Bytes{}, m_bodies[1], Bytes{}}));
  ASSERT_EQ(m_tools.LoadOneFileImage("image.img"), 0);
  EXPECT_EQ(fs::file_size("eboot.nb0"), 0u);
  EXPECT_EQ(fs::file_size("phone.bin"), 0u);
  EXPECT_EQ(m_images.m_EbootBin.m_nLength, 0);
  EXPECT_EQ(m_images.m_ImageTable.dwEbootSize, 0u);
  EXPECT_EQ(m_images.m_PhoneFile.GetPacketCount(), 0u);
}

TEST_F(OneFileTest, SizeBeyondTheFileIsShortWithoutAllocating) {
  Bytes image = ImageBytes(m_names, m_bodies);
  StoreLe32(image.data() + OneFileHeader::SizeOffset(kPartPda), 0xFFFFFFF0u);
  WriteBytes("image.img", image);
  EXPECT_EQ(m_tools.LoadOneFileImage("image.img"), -7);
}

TEST_F(OneFileTest, PartNamesOutsideTheCurrentDirectoryAreRefused) {
  fs::create_directory("inner");
  const std::string absolute = (m_dir.Path() / "abs.bin").string();
  const std::string full(260, 'a');  // no NUL inside the field
  const std::string names[] = {"",       ".",         "..", "../up.bin", "inner/x.bin", "inner\\x.bin",
                               absolute, "/tmp/x.bin"};
  for (int part = 0; part < kPartCount; ++part) {
    for (const std::string& bad : names) {
      std::array<std::string, kPartCount> partNames = m_names;
      partNames[part] = bad;
      WriteBytes("inner/image.img", ImageBytes(partNames, m_bodies));
      m_chosen = "inner/image.img";
      m_messages.clear();
      EXPECT_EQ(m_tools.OpenOneFileImage(), kLoadUnsafeName) << part << " " << bad;
      ASSERT_EQ(m_messages.size(), 1u);
      EXPECT_EQ(m_messages[0].find("Unsupported"), std::string::npos);
      // Nothing written anywhere, nothing loaded.
      EXPECT_EQ(m_dir.Names(), std::vector<std::string>{"inner"}) << part << " " << bad;
      EXPECT_FALSE(fs::exists(fs::path("inner") / "x.bin"));
      EXPECT_FALSE(fs::exists(m_dir.Path().parent_path() / "up.bin"));
      EXPECT_EQ(m_images.m_ImageTable.pEbootBin, nullptr);
    }
    // A name field without its NUL.
    Bytes image = ImageBytes(m_names, m_bodies);
    std::copy(full.begin(), full.end(), image.begin() + OneFileHeader::NameOffset(part));
    WriteBytes("inner/image.img", image);
    EXPECT_EQ(m_tools.LoadOneFileImage("inner/image.img"), kLoadUnsafeName) << part;
  }
}

TEST_F(OneFileTest, CancelChangesNothing) {
  m_images.m_bImageLoaded = 1;
  m_tools.m_strImageDesc = {"a", "b", "c"};
  EXPECT_EQ(m_tools.OpenOneFileImage(), CDevTools::kOneFileCancelled);
  EXPECT_EQ(m_images.m_bImageLoaded, 1);
  EXPECT_EQ(m_tools.m_strImageDesc, (ImageTexts{"a", "b", "c"}));
}

}  // namespace
}  // namespace tw::test
