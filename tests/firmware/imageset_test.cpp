// CImageSet::LoadAttachedImages: the package appended to an executable.
#include "firmware/imageset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "tests/firmware/alloctracker.h"
#include "tests/firmware/packagefixture.h"

namespace tw::test {
namespace {

// A small package: executable 1000 bytes, EBOOT 3000 at 1000, PDA 5000 at
// 4000, phone 2500 at 9000 (not a whole number of KiB), record at 11500.
constexpr std::uint64_t kExe = 1000, kEboot = 3000, kPda = 5000, kPhone = 2500;
constexpr std::uint64_t kEbootAt = kExe, kPdaAt = kExe + kEboot, kPhoneAt = kPdaAt + kPda;

struct Expect {
  BOOL result;
  bool eboot;     // EBOOT loaded and flagged
  bool complete;  // PDA and phone loaded, flags and images-loaded flag set
  std::uint64_t pdaFrom = kPdaAt;
  std::uint64_t phoneFrom = kPhoneAt;
};

struct LoadCase {
  const char* name;
  std::function<void(sImageHeader&)> edit;
  std::uint64_t keepImageBytes;  // images behind the executable kept before the record
  Expect expect;
};

class ImageSetTest : public ::testing::Test {
 protected:
  void Write(const sImageHeader& header, std::uint64_t keepImageBytes = kEboot + kPda + kPhone) {
    Bytes images = Pattern(kEboot, 1);
    const Bytes pda = Pattern(kPda, 2), phone = Pattern(kPhone, 3);
    images.insert(images.end(), pda.begin(), pda.end());
    images.insert(images.end(), phone.begin(), phone.end());
    images.resize(std::min<std::uint64_t>(keepImageBytes, images.size()));
    WritePackage(Path(), Pattern(kExe, 0), images, {}, {}, header);
  }
  std::string Path() const { return dir.File("package"); }

  // The set as the expectation says, read back against the file.
  void Verify(const CImageSet& set, const sImageHeader& header, const Expect& expect, BOOL result) {
    EXPECT_EQ(result, expect.result);
    const ImageTable& table = set.m_ImageTable;
    EXPECT_EQ(set.m_bDownEboot, expect.eboot ? 1 : 0);
    if (expect.eboot) {
      EXPECT_EQ(table.pEbootBin, &set.m_EbootBin);
      EXPECT_EQ(table.dwEbootSize, kEboot);
      const Bytes want = ReadRange(Path(), kEbootAt, kEboot);
      EXPECT_EQ(std::memcmp(set.m_EbootBin.m_pEboot, want.data(), want.size()), 0);
    } else {
      EXPECT_EQ(table.pEbootBin, nullptr);
      EXPECT_EQ(table.dwEbootSize, 0u);
    }
    const int complete = expect.complete ? 1 : 0;
    EXPECT_EQ(set.m_bDownPda, complete);
    EXPECT_EQ(set.m_bDownPhone, complete);
    EXPECT_EQ(set.m_bImageLoaded, complete);
    if (!expect.complete) {
      EXPECT_EQ(table.pPdaBin, nullptr);
      EXPECT_EQ(table.dwPdaSize, 0u);
      EXPECT_EQ(table.dwPhoneSize, 0u);
      return;
    }
    EXPECT_EQ(set.m_bPhoneFullSet, static_cast<int>(header.dwPhoneFullSet));
    EXPECT_EQ(set.m_bPhoneExtraCmd, static_cast<int>(header.dwPhoneExtraCmd));
    EXPECT_EQ(table.pPdaBin, &set.m_PdaBin);
    EXPECT_EQ(table.dwPdaSize, header.dwPdaSize);
    EXPECT_EQ(table.dwPhoneSize, header.dwPhoneSize);
    EXPECT_EQ(Bytes(set.m_PdaBin.m_pPda, set.m_PdaBin.m_pPda + header.dwPdaSize),
              ReadRange(Path(), expect.pdaFrom, header.dwPdaSize));
    // The phone packets hold the file from phoneFrom on, zeros past its end.
    const DWORD count = (header.dwPhoneSize + 1023) / 1024;
    ASSERT_EQ(set.m_PhoneFile.GetPacketCount(), count);
    Bytes phone = ReadRange(Path(), expect.phoneFrom, std::uint64_t{count} * 1024);
    phone.resize(std::size_t{count} * 1024, 0);
    for (DWORD i = 0; i < count; ++i) {
      ASSERT_EQ(std::memcmp(set.m_PhoneFile.GetPacket(i) + 7, phone.data() + std::size_t{i} * 1024, 1024), 0)
          << "packet " << i;
    }
  }

  TempDir dir;
  CImageSet set;
};

TEST_F(ImageSetTest, LayoutCases) {
  const Expect full{TRUE, true, true};
  const Expect nothing{FALSE, false, false};
  const LoadCase cases[] = {
      {"sound package", [](sImageHeader&) {}, kEboot + kPda + kPhone, full},
      {"wrong magic", [](sImageHeader& h) { h.dwMagic = 0x424A4448; }, kEboot + kPda + kPhone, nothing},
      // Refused by the package validation: nothing loaded.
      {"EBOOT offset 0 with a size",
       [](sImageHeader& h) {
         h.dwEbootOffset = 0;
         h.dwPdaOffset = kEbootAt;
       },
       kEboot + kPda + kPhone, nothing},
      {"EBOOT size 0 with an offset", [](sImageHeader& h) { h.dwEbootSize = 0; }, kEboot + kPda + kPhone,
       nothing},
      {"wrong dwPdaOffset with an EBOOT", [](sImageHeader& h) { h.dwPdaOffset = 7; }, kEboot + kPda + kPhone,
       nothing},
      {"wrong dwPhoneOffset", [](sImageHeader& h) { h.dwPhoneOffset = 0xFFFFFFFF; }, kEboot + kPda + kPhone,
       nothing},
      {"dwPdaSize 0",
       [](sImageHeader& h) {
         h.dwPdaSize = 0;
         h.dwPhoneOffset = kPdaAt;
       },
       kEboot + kPda + kPhone, nothing},
      // No EBOOT: the PDA image from dwPdaOffset.
      {"no EBOOT",
       [](sImageHeader& h) {
         h.dwEbootOffset = h.dwEbootSize = 0;
         h.dwPdaOffset = kEbootAt;
         h.dwPhoneOffset = kEbootAt + kPda;
         h.dwPhoneSize = kPhone + kEboot;
       },
       kEboot + kPda + kPhone,
       {TRUE, false, true, kEbootAt, kEbootAt + kPda}},
      {"dwPhoneExtraCmd 2 is copied, not 1", [](sImageHeader& h) { h.dwPhoneExtraCmd = 2; },
       kEboot + kPda + kPhone, full},
      {"dwPhoneExtraCmd 1", [](sImageHeader& h) { h.dwPhoneExtraCmd = 1; }, kEboot + kPda + kPhone, full},
      {"dwPhoneFullSet 0", [](sImageHeader& h) { h.dwPhoneFullSet = 0; }, kEboot + kPda + kPhone, full},
      {"dwPhoneFullSet 5 (any non-zero)", [](sImageHeader& h) { h.dwPhoneFullSet = 5; },
       kEboot + kPda + kPhone, full},
      {"cut off inside the PDA image: EBOOT stays",
       [](sImageHeader&) {},
       kEboot + 1500,
       {FALSE, true, false}},
      {"cut off inside the phone image: EBOOT stays",
       [](sImageHeader&) {},
       kEboot + kPda + 1000,
       {FALSE, true, false}},
      {"EBOOT beyond the end of the file", [](sImageHeader& h) { h.dwEbootSize = 20000; },
       kEboot + kPda + kPhone, nothing},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    sImageHeader header = SoundHeader(kExe, kEboot, kPda, kPhone);
    c.edit(header);
    Write(header, c.keepImageBytes);
    CImageSet fresh;
    const BOOL result = fresh.LoadAttachedImages(Path());
    Verify(fresh, header, c.expect, result);
  }
}

TEST_F(ImageSetTest, ExtraCommandTwoIsNotTheOption) {
  sImageHeader header = SoundHeader(kExe, kEboot, kPda, kPhone);
  header.dwPhoneExtraCmd = 2;
  Write(header);
  ASSERT_TRUE(set.LoadAttachedImages(Path()));
  EXPECT_NE(set.m_bPhoneExtraCmd, 1) << "only exactly 1 turns the extra command on";
}

TEST_F(ImageSetTest, SecondLoadReplacesTheFirst) {
  Write(SoundHeader(kExe, kEboot, kPda, kPhone));
  ASSERT_TRUE(set.LoadAttachedImages(Path()));
  // The same images without the EBOOT: the PDA image is the old EBOOT's bytes.
  sImageHeader header = SoundHeader(kExe, 0, kEboot, kPda);
  Write(header, kEboot + kPda);
  ASSERT_TRUE(set.LoadAttachedImages(Path()));
  Verify(set, header, {TRUE, false, true, kEbootAt, kPdaAt}, TRUE);
}

TEST_F(ImageSetTest, RefusedHeaderChangesNothing) {
  const sImageHeader good = SoundHeader(kExe, kEboot, kPda, kPhone);
  Write(good);
  ASSERT_TRUE(set.LoadAttachedImages(Path()));
  const std::function<void(sImageHeader&)> refusals[] = {
      [](sImageHeader& h) { h.dwMagic = 0; },
      [](sImageHeader& h) { h.dwEbootOffset = 0xFFFFF000; },
      [](sImageHeader& h) { h.dwEbootSize = 0, h.dwPdaOffset = 0x10000000; },
      [](sImageHeader& h) { h.dwEbootOffset = h.dwPdaOffset = h.dwPhoneOffset = 0; },
      [](sImageHeader& h) { h.dwEbootSize = h.dwPdaSize = h.dwPhoneSize = 0; },
      [](sImageHeader& h) { h.dwEbootOffset = h.dwEbootSize = h.dwPdaOffset = h.dwPhoneOffset = 0; },
  };
  for (const auto& edit : refusals) {
    sImageHeader bad = good;
    edit(bad);
    WritePackage(dir.File("bad"), Pattern(kExe, 5), Pattern(kEboot, 6), {}, {}, bad);
    EXPECT_FALSE(set.LoadAttachedImages(dir.File("bad")));
    EXPECT_EQ(set.m_strLoadError.rfind("no package: ", 0), 0u) << set.m_strLoadError;
    Verify(set, good, {TRUE, true, true}, TRUE);
  }
  WriteFile(dir.File("short"), Bytes(20, 0x49));
  EXPECT_FALSE(set.LoadAttachedImages(dir.File("short")));
  Verify(set, good, {TRUE, true, true}, TRUE);
}

TEST_F(ImageSetTest, MissingFileAndPlainExecutableLoadNothing) {
  EXPECT_FALSE(set.LoadAttachedImages(dir.File("absent")));
  EXPECT_FALSE(set.LoadAttachedImages()) << "this test program carries no package";
  Verify(set, {}, {FALSE, false, false}, FALSE);
}

// Bad input: a clear result, no crash, nothing allocated beyond the file.
struct BadCase {
  const char* name;
  Bytes file;
  BOOL result;
  int downEboot;
};

Bytes Record(const sImageHeader& header, std::size_t before = 0) {
  Bytes bytes = Pattern(before, 7);
  const ImageHeaderBytes record = EncodeImageHeader(header);
  bytes.insert(bytes.end(), record.begin(), record.end());
  return bytes;
}

sImageHeader With(std::function<void(sImageHeader&)> edit) {
  sImageHeader h = SoundHeader(100, 200, 300, 400);
  edit(h);
  return h;
}

TEST(ImageSetBadInput, RefusedWithoutLargeAllocations) {
  const sImageHeader magicOnly = With([](sImageHeader& h) { h = sImageHeader{IMAGE_HEADER_MAGIC}; });
  Bytes shortFile(35, 0);
  std::memcpy(shortFile.data(), "IDJB", 4);
  const BadCase cases[] = {
      {"empty file", {}, FALSE, 0},
      {"35 bytes", shortFile, FALSE, 0},
      {"36 zero bytes", Bytes(36, 0), FALSE, 0},
      {"only the magic: empty images at offset 0", Record(magicOnly), FALSE, 0},
      {"EBOOT of 4 GiB", Record(With([](sImageHeader& h) { h.dwEbootSize = 0xFFFFFFFF; }), 1000), FALSE, 0},
      {"EBOOT offset beyond the file",
       Record(With([](sImageHeader& h) { h.dwEbootOffset = 0xFFFFFF00; }), 1000), FALSE, 0},
      {"PDA of 4 GiB behind an EBOOT", Record(With([](sImageHeader& h) { h.dwPdaSize = 0xFFFFFFFF; }), 1000),
       FALSE, 0},
      {"PDA of 4 GiB without an EBOOT",
       Record(With([](sImageHeader& h) { h.dwEbootSize = 0, h.dwPdaSize = 0xFFFFFFFF; }), 1000), FALSE, 0},
      {"PDA offset beyond the file",
       Record(With([](sImageHeader& h) { h.dwEbootOffset = 0, h.dwPdaOffset = 0x7FFFFFFF; }), 1000), FALSE,
       0},
      {"phone of 4 GiB", Record(With([](sImageHeader& h) { h.dwPhoneSize = 0xFFFFFFFF; }), 1000), FALSE, 1},
      {"phone of 2 GiB", Record(With([](sImageHeader& h) { h.dwPhoneSize = 0x80000000; }), 1000), FALSE, 1},
      {"every size 4 GiB",
       Record(With([](sImageHeader& h) { h.dwEbootSize = h.dwPdaSize = h.dwPhoneSize = 0xFFFFFFFF; }), 1000),
       FALSE, 0},
      {"empty images behind the executable", Record(SoundHeader(1000, 0, 0, 0), 1000), FALSE, 0},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteFile(dir.File("bad"), c.file);
    CImageSet set;
    AllocTracker::Reset();
    EXPECT_EQ(set.LoadAttachedImages(dir.File("bad")), c.result);
    EXPECT_EQ(set.m_bDownEboot, c.downEboot);
    EXPECT_EQ(set.m_bImageLoaded, c.result);
    EXPECT_LE(AllocTracker::LargestRequest(), c.file.size() * 103 / 100 + 4096);
  }
}

}  // namespace
}  // namespace tw::test
