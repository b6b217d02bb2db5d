// Images chosen up front (tidewell --onefile, --eboot, --pda, --phone): the
// options, the order the selections run in, and why one is refused.
#include "tools/imageselections.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/frontoptions.h"
#include "firmware/imageset.h"
#include "tests/tools/scratchdir.h"
#include "tools/onefileheader.h"
#include "tools/onefilewriter.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

TEST(ImageSelectionsTest, FrontOptionsTakeTheFourFiles) {
  const char* argv[] = {"tidewell", "--headless", "--onefile", "a.img",   "--eboot",
                        "e.nb0",    "--pda",      "p.bin",     "--phone", "f.bin"};
  FrontOptions options;
  std::string error;
  ASSERT_TRUE(ParseFrontOptions(10, argv, &options, &error)) << error;
  EXPECT_EQ(options.selections.strOneFile, "a.img");
  EXPECT_EQ(options.selections.strEboot, "e.nb0");
  EXPECT_EQ(options.selections.strPda, "p.bin");
  EXPECT_EQ(options.selections.strPhone, "f.bin");

  const char* twice[] = {"tidewell", "--pda", "a", "--pda", "b"};
  FrontOptions repeated;
  EXPECT_FALSE(ParseFrontOptions(5, twice, &repeated, &error));
  EXPECT_EQ(error, "--pda given twice");
}

class ApplySelectionsTest : public ::testing::Test {
 protected:
  ScratchDir m_dir;
  CImageSet m_images;
  CDevTools m_tools{m_images};
};

TEST_F(ApplySelectionsTest, SingleImagesGoOverTheOneFileImage) {
  fs::create_directory("src");
  WriteBytes("src/e.nb0", SeededBytes(10, 1));
  WriteBytes("src/p.bin", SeededBytes(20, 2));
  WriteBytes("src/f.bin", SeededBytes(30, 3));
  ASSERT_EQ(WriteOneFileImage("all.img", "src", "e.nb0", "p.bin", "f.bin"), 0);
  WriteBytes("other.bin", SeededBytes(40, 4));
  ImageSelections selections;
  selections.strOneFile = "all.img";
  selections.strPda = "other.bin";
  EXPECT_EQ(ApplyImageSelections(selections, m_tools), "");
  EXPECT_EQ(m_images.m_ImageTable.dwEbootSize, 10u);
  EXPECT_EQ(m_images.m_ImageTable.dwPdaSize, 40u);
  EXPECT_EQ(m_images.m_ImageTable.dwPhoneSize, 30u);
  EXPECT_EQ(m_images.m_bImageLoaded, 1);
  // The description names the full path, as the file dialog gives it.
  EXPECT_NE(m_tools.m_strImageDesc[kPartPda].find((m_dir.Path() / "other.bin").string()), std::string::npos);
  // The tools' callbacks are theirs again.
  EXPECT_FALSE(m_tools.Callbacks().openFileName("", 0).has_value());
}

TEST_F(ApplySelectionsTest, RefusalsSayWhy) {
  WriteBytes("e.nb0", SeededBytes(10, 1));
  WriteBytes("notimage.img", SeededBytes(900, 1));
  { std::ofstream big("big.bin"); }
  fs::resize_file("big.bin", kMaxPhoneFileSize + 1);
  struct RefusalCase {
    ImageSelections selections;
    std::string reason;
  };
  const RefusalCase cases[] = {
      {{"", "", "", "notimage.img"}, "--onefile notimage.img: the tag is not \"QX7 KORV-352\""},
      {{"absent.nb0", "", "", ""}, "--eboot absent.nb0: cannot be read"},
      {{"", "absent.bin", "", ""}, "--pda absent.bin: cannot be read"},
      {{"", "", "f.txt", ""}, "--phone f.txt: a phone binary's name ends in .bin"},
      {{"", "", "big.bin", ""}, "--phone big.bin: above 20000000 bytes"},
      {{"", "", "absent.bin", ""}, "--phone absent.bin: cannot be read"},
      {{"e.nb0", "", "f.txt", ""}, "--phone f.txt: a phone binary's name ends in .bin"},
  };
  for (const RefusalCase& c : cases) {
    EXPECT_EQ(ApplyImageSelections(c.selections, m_tools), c.reason);
  }
}

}  // namespace
}  // namespace tw::test
