// CBufBin: the EBOOT and PDA storages, and the images the table makes of them.
#include "firmware/bufbin.h"

#include <gtest/gtest.h>

#include <cstring>

#include "firmware/imagetable.h"
#include "tests/firmware/alloctracker.h"
#include "tests/firmware/packagefixture.h"

namespace tw::test {
namespace {

class BufBinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image = Pattern(10000, 4);
    WriteFile(dir.File("image"), image);
    ASSERT_TRUE(file.Open(dir.File("image")));
  }
  bool Holds(const BYTE* block, std::size_t from, std::size_t n) const {
    return block != nullptr && std::memcmp(block, image.data() + from, n) == 0;
  }

  TempDir dir;
  Bytes image;
  CFile file;
};

TEST_F(BufBinTest, ReadsExactlyNBytesFromThePosition) {
  CBufBin bin;
  file.Seek(100, CFile::begin);
  EXPECT_TRUE(bin.ReadEboot(&file, 4000));
  EXPECT_EQ(bin.m_nLength, 4000);
  EXPECT_TRUE(Holds(bin.m_pEboot, 100, 4000));
  EXPECT_EQ(bin.m_pPda, nullptr);
  EXPECT_TRUE(bin.ReadPda(&file, 5900)) << "continues where the EBOOT read ended";
  EXPECT_TRUE(Holds(bin.m_pPda, 4100, 5900));
  EXPECT_TRUE(Holds(bin.m_pEboot, 100, 4000)) << "the other storage is left alone";
  EXPECT_EQ(bin.m_nLength, 5900);
}

TEST_F(BufBinTest, ShortReadFailsAndKeepsWhatWasRead) {
  CBufBin bin;
  file.Seek(9000, CFile::begin);
  EXPECT_FALSE(bin.ReadPda(&file, 2000));
  EXPECT_EQ(bin.m_nLength, 2000);
  EXPECT_TRUE(Holds(bin.m_pPda, 9000, 1000));
}

TEST_F(BufBinTest, EmptyReadSucceeds) {
  CBufBin bin;
  EXPECT_TRUE(bin.ReadPda(&file, 0));
  EXPECT_EQ(bin.m_nLength, 0);
}

TEST_F(BufBinTest, LoadFileReadsTheFileLengthFromThePosition) {
  CBufBin bin;
  EXPECT_EQ(bin.LoadEbootFile(&file), 10000u);
  EXPECT_TRUE(Holds(bin.m_pEboot, 0, 10000));
  file.Seek(6000, CFile::begin);
  EXPECT_EQ(bin.LoadPdaFile(&file), 4000u) << "the count read";
  EXPECT_EQ(bin.m_nLength, 10000);
  EXPECT_TRUE(Holds(bin.m_pPda, 6000, 4000));
}

TEST_F(BufBinTest, CopyTakesBytesFromMemory) {
  CBufBin bin;
  bin.CopyEboot(image.data(), 300);
  bin.CopyPda(image.data() + 5, 700);
  EXPECT_TRUE(Holds(bin.m_pEboot, 0, 300));
  EXPECT_TRUE(Holds(bin.m_pPda, 5, 700));
  EXPECT_EQ(bin.m_nLength, 700);
}

TEST_F(BufBinTest, LoadingAStorageTwiceFreesTheFirstBlockBeforeAllocatingTheSecond) {
  const Bytes big = Pattern(std::size_t{4} << 20, 5);
  CBufBin bin;
  bin.CopyPda(big.data(), static_cast<DWORD>(big.size()));
  AllocTracker::Reset();
  bin.CopyPda(big.data(), static_cast<DWORD>(big.size()));
  EXPECT_LT(AllocTracker::PeakLiveBytes(), big.size() / 2) << "both blocks were alive at once";
  EXPECT_EQ(std::memcmp(bin.m_pPda, big.data(), big.size()), 0);
}

// The stages send the table's size of the storage the table names; a size
// without storage is no image to send, an empty image is one.
TEST(ImageTableTest, ImagesAreTheTableSizeOfTheNamedStorage) {
  const Bytes bytes = Pattern(300, 9);
  CBufBin full, empty;
  full.CopyEboot(bytes.data(), 300);
  full.CopyPda(bytes.data(), 300);
  struct Case {
    const char* what;
    CBufBin* pBin;
    DWORD size;
    bool sent;
  };
  const Case cases[] = {
      {"no buffer", nullptr, 100, false},
      {"size without storage", &empty, 100, false},
      {"empty, no storage", &empty, 0, true},
      {"part of the storage", &full, 120, true},
  };
  for (const Case& c : cases) {
    ImageTable table;
    table.pEbootBin = table.pPdaBin = c.pBin;
    table.dwEbootSize = table.dwPdaSize = c.size;
    for (const auto& image : {table.EbootImage(), table.PdaImage()}) {
      ASSERT_EQ(image.has_value(), c.sent) << c.what;
      if (!image) continue;
      EXPECT_EQ(Bytes(image->begin(), image->end()), Bytes(bytes.begin(), bytes.begin() + c.size)) << c.what;
    }
  }
}

}  // namespace
}  // namespace tw::test
