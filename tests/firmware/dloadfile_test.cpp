// CDloadFile: the phone image cut into 1031-byte download packets.
#include "firmware/dloadfile.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/firmware/alloctracker.h"
#include "tests/firmware/packagefixture.h"

namespace tw::test {
namespace {

constexpr BYTE kPacketHead[7] = {0, 0, 0, 0, 0, 0x00, 0x04};

// Every packet starts 00 00 00 00 00 00 04 and holds source[i * 1024 ...],
// with zeros where the source ends.
void ExpectPackets(const CDloadFile& phone, const Bytes& source, DWORD count) {
  ASSERT_EQ(phone.GetPacketCount(), count);
  for (DWORD i = 0; i < count; ++i) {
    const BYTE* packet = phone.GetPacket(i);
    ASSERT_EQ(std::memcmp(packet, kPacketHead, sizeof kPacketHead), 0) << "packet " << i;
    for (std::size_t k = 0; k < CDloadFile::kDataSize; ++k) {
      const std::size_t at = std::size_t{i} * 1024 + k;
      const BYTE want = at < source.size() ? source[at] : 0;
      ASSERT_EQ(packet[CDloadFile::kDataOffset + k], want) << "packet " << i << " byte " << k;
    }
  }
}

struct SizeCase {
  std::size_t size;
  DWORD packets;
};

class DloadFileSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(DloadFileSizes, SeparateFileGivesOnePacketPerKibZeroPadded) {
  TempDir dir;
  const Bytes image = Pattern(GetParam().size, 3);
  WriteFile(dir.File("phone.bin"), image);
  CDloadFile phone;
  ASSERT_TRUE(phone.OpenFile(dir.File("phone.bin")));
  EXPECT_EQ(phone.GetSize(), image.size());
  EXPECT_EQ(phone.GetPacketCount(), 0u) << "OpenFile reads no data";
  ASSERT_TRUE(phone.MakePackets());
  ExpectPackets(phone, image, GetParam().packets);
  EXPECT_EQ(phone.GetPath(), dir.File("phone.bin"));
}

INSTANTIATE_TEST_SUITE_P(Sizes, DloadFileSizes,
                         ::testing::Values(SizeCase{0, 0}, SizeCase{1, 1}, SizeCase{1023, 1},
                                           SizeCase{1024, 1}, SizeCase{1025, 2}, SizeCase{2048, 2},
                                           SizeCase{5000, 5}, SizeCase{300 * 1024 + 17, 301}));

TEST(DloadFile, LoadFromFileStartsAtThePositionAndFillsTheLastPacketFromTheFile) {
  // As in a package: the image is followed by more bytes (the record), which
  // fill the rest of the last packet up to the end of the file.
  TempDir dir;
  const Bytes before = Pattern(777, 1), image = Pattern(2100, 2), after = Pattern(36, 9);
  WriteFile(dir.File("pkg"), before);
  AppendFile(dir.File("pkg"), image);
  AppendFile(dir.File("pkg"), after);
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("pkg")));
  ASSERT_EQ(file.Seek(777, CFile::begin), 777);
  CDloadFile phone;
  ASSERT_TRUE(phone.LoadFromFile(&file, 2100));
  EXPECT_EQ(phone.GetSize(), 2100u);
  Bytes expected = image;
  expected.insert(expected.end(), after.begin(), after.end());
  ExpectPackets(phone, expected, 3);
}

TEST(DloadFile, LoadFromNoFileFails) {
  CDloadFile phone;
  EXPECT_FALSE(phone.LoadFromFile(nullptr, 10));
  EXPECT_EQ(phone.GetPacketCount(), 0u);
}

TEST(DloadFile, PacketTotalBeyond32BitsFailsWithoutAllocating) {
  TempDir dir;
  WriteFile(dir.File("small"), Pattern(100, 1));
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("small")));
  CDloadFile phone;
  AllocTracker::Reset();
  EXPECT_FALSE(phone.LoadFromFile(&file, 0xFFFFFFFFu));
  EXPECT_LT(AllocTracker::LargestRequest(), std::size_t{1} << 20);
  EXPECT_EQ(phone.GetSize(), 0xFFFFFFFFu) << "the size keeps the new value";
  EXPECT_EQ(phone.GetPacketCount(), 0u);
}

TEST(DloadFile, OpenFileFailureShowsTheMessageAndEmptiesTheImage) {
  TempDir dir;
  WriteFile(dir.File("old.bin"), Pattern(3000, 1));
  CDloadFile phone;
  std::vector<std::string> shown;
  phone.SetMessageSink([&shown](const std::string& text) { shown.push_back(text); });
  ASSERT_TRUE(phone.OpenFile(dir.File("old.bin")));
  ASSERT_TRUE(phone.MakePackets());
  const std::string missing = dir.File("missing.bin");
  EXPECT_FALSE(phone.OpenFile(missing));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], " Fail to read from " + missing + "\n Please Check bin_file !");
  EXPECT_EQ(phone.GetSize(), 0u);
  EXPECT_EQ(phone.GetPacketCount(), 0u);
  EXPECT_FALSE(phone.MakePackets()) << "no file is open";
  EXPECT_FALSE(phone.OpenFile(dir.Path())) << "a directory holds no image";
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1], " Fail to read from " + dir.Path() + "\n Please Check bin_file !");
}

TEST(DloadFile, ReloadReplacesSizeAndPackets) {
  TempDir dir;
  const Bytes first = Pattern(5000, 1), second = Pattern(1500, 2);
  WriteFile(dir.File("a.bin"), first);
  WriteFile(dir.File("b.bin"), second);
  CDloadFile phone;
  ASSERT_TRUE(phone.OpenFile(dir.File("a.bin")) && phone.MakePackets());
  ASSERT_TRUE(phone.OpenFile(dir.File("b.bin")) && phone.MakePackets());
  EXPECT_EQ(phone.GetSize(), 1500u);
  ExpectPackets(phone, second, 2);
}

}  // namespace
}  // namespace tw::test
