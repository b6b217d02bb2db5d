// tidewell-tool pack and inspect, and the packed upgrader loading itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "cli/tool_commands.h"
#include "firmware/imageset.h"
#include "firmware/packagewriter.h"
#include "tests/firmware/packagefixture.h"

namespace tw::test {
namespace {

unsigned Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0;
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir.File("tidewell"), Pattern(5000, 0));
    WriteFile(dir.File("eboot.nb0"), Pattern(3000, 1));
    WriteFile(dir.File("pda.bin"), Pattern(7000, 2));
    WriteFile(dir.File("phone.bin"), Pattern(2100, 3));
  }
  ToolArgs Args(std::initializer_list<std::string> extra) const {
    ToolArgs args{"--upgrader", dir.File("tidewell"), "--pda", dir.File("pda.bin"),
                  "--phone",    dir.File("phone.bin")};
    args.insert(args.end(), extra);
    return args;
  }

  TempDir dir;
};

TEST(PackWorkedExample, ReleasedLayoutRoundTrips) {
  // The released build: executable up to 2,670,592, EBOOT 1,126,400,
  // PDA 63,822,351, phone 14,524,912, record at 82,144,255.
  TempDir dir;
  PackRequest request{dir.File("exe"), dir.File("eboot"), dir.File("pda"), dir.File("phone"),
                      dir.File("out")};
  WriteSparse(request.upgrader, 2670592, 0);
  WriteSparse(request.eboot, 1126400, 1);
  WriteSparse(request.pda, 63822351, 2);
  WriteSparse(request.phone, 14524912, 3);
  sImageHeader written;
  std::string error;
  ASSERT_TRUE(WritePackage(request, &written, &error)) << error;

  const sImageHeader expected{IMAGE_HEADER_MAGIC, 2670592, 1126400, 3796992, 63822351, 1, 0,
                              67619343,           14524912};
  EXPECT_EQ(written, expected);
  EXPECT_EQ(FileSize(request.output), 82144291u);
  EXPECT_EQ(DecodeImageHeader(ReadRange(request.output, 82144255, 36).data()), expected);

  CImageSet set;
  ASSERT_TRUE(set.LoadAttachedImages(request.output));
  EXPECT_EQ(set.m_bDownEboot, 1);
  EXPECT_EQ(set.m_bDownPda, 1);
  EXPECT_EQ(set.m_bDownPhone, 1);
  EXPECT_EQ(set.m_bPhoneFullSet, 1);
  EXPECT_EQ(set.m_bPhoneExtraCmd, 0);
  EXPECT_EQ(set.m_bImageLoaded, 1);
  EXPECT_EQ(set.m_ImageTable.dwEbootSize, 1126400u);
  EXPECT_EQ(set.m_ImageTable.dwPdaSize, 63822351u);
  EXPECT_EQ(set.m_ImageTable.dwPhoneSize, 14524912u);
  const Bytes eboot = ReadRange(request.eboot, 0, 1126400);
  EXPECT_EQ(std::memcmp(set.m_EbootBin.m_pEboot, eboot.data(), eboot.size()), 0);
  const Bytes pda = ReadRange(request.pda, 0, 63822351);
  EXPECT_EQ(std::memcmp(set.m_PdaBin.m_pPda, pda.data(), pda.size()), 0);
  // 14,185 packets; the last holds 496 image bytes, the 36-byte record, zeros.
  ASSERT_EQ(set.m_PhoneFile.GetPacketCount(), 14185u);
  const Bytes phone = ReadRange(request.phone, 0, 14524912);
  EXPECT_EQ(std::memcmp(set.m_PhoneFile.GetPacket(0) + 7, phone.data(), 1024), 0);
  const BYTE* last = set.m_PhoneFile.GetPacket(14184) + 7;
  EXPECT_EQ(std::memcmp(last, phone.data() + 14184 * 1024, 496), 0);
  EXPECT_EQ(std::memcmp(last + 496, EncodeImageHeader(expected).data(), 36), 0);
  EXPECT_EQ(std::count(last + 532, last + 1024, 0), 1024 - 532);
}

TEST_F(PackTest, OptionsAndNoEboot) {
  ASSERT_EQ(RunPack(Args({"--full-set", "0", "--extra-cmd", "1", "-o", dir.File("out")})), 0);
  CImageSet set;
  ASSERT_TRUE(set.LoadAttachedImages(dir.File("out")));
  EXPECT_EQ(set.m_bDownEboot, 0);
  EXPECT_EQ(set.m_ImageTable.pEbootBin, nullptr);
  EXPECT_EQ(set.m_bPhoneFullSet, 0);
  EXPECT_EQ(set.m_bPhoneExtraCmd, 1);
  const Bytes pda = ReadRange(dir.File("pda.bin"), 0, 7000);
  EXPECT_EQ(std::memcmp(set.m_PdaBin.m_pPda, pda.data(), pda.size()), 0);
  EXPECT_EQ(RunInspect({dir.File("out")}), 0);
}

TEST_F(PackTest, KeepsTheUpgradersPermissionBits) {
  for (unsigned mode : {0755u, 0640u}) {
    ::chmod(dir.File("tidewell").c_str(), mode);
    ASSERT_EQ(RunPack(Args({"--eboot", dir.File("eboot.nb0"), "-o", dir.File("out")})), 0);
    EXPECT_EQ(Mode(dir.File("out")), mode);
  }
}

TEST_F(PackTest, RefusesMissingOrUnreadableInputsAndWritesNothing) {
  WriteFile(dir.File("out"), Pattern(10, 9));  // an older package stays as it was
  ::mkdir(dir.File("adir").c_str(), 0755);
  WriteFile(dir.File("empty.bin"), {});
  const std::vector<std::string> before = dir.Entries();
  const ToolArgs cases[] = {
      {"--upgrader", dir.File("nope"), "--pda", dir.File("pda.bin"), "--phone", dir.File("phone.bin")},
      {"--upgrader", dir.File("tidewell"), "--eboot", dir.File("nope"), "--pda", dir.File("pda.bin"),
       "--phone", dir.File("phone.bin")},
      {"--upgrader", dir.File("tidewell"), "--pda", dir.File("nope"), "--phone", dir.File("phone.bin")},
      {"--upgrader", dir.File("tidewell"), "--pda", dir.File("pda.bin"), "--phone", dir.File("nope")},
      {"--upgrader", dir.File("tidewell"), "--pda", dir.File("adir"), "--phone", dir.File("phone.bin")},
      // Packages the loader would refuse.
      {"--upgrader", dir.File("tidewell"), "--pda", dir.File("empty.bin"), "--phone", dir.File("phone.bin")},
      {"--upgrader", dir.File("tidewell"), "--pda", dir.File("pda.bin"), "--phone", dir.File("empty.bin")},
  };
  for (ToolArgs args : cases) {
    args.insert(args.end(), {"-o", dir.File("out")});
    EXPECT_EQ(RunPack(args), 1);
    EXPECT_EQ(dir.Entries(), before) << "no output and no temporary file";
    EXPECT_EQ(ReadRange(dir.File("out"), 0, 100), Pattern(10, 9));
  }
  EXPECT_EQ(RunPack(Args({"-o", dir.File("nodir/out")})), 1);
}

TEST_F(PackTest, UsageErrors) {
  const ToolArgs cases[] = {
      Args({}),                                               // no -o
      {"--pda", dir.File("pda.bin"), "-o", dir.File("out")},  // no --phone
      Args({"--full-set", "2", "-o", dir.File("out")}),
      Args({"--extra-cmd", "-1", "-o", dir.File("out")}),
      Args({"--extra-cmd", "4294967296", "-o", dir.File("out")}),
      Args({"--bogus", "1", "-o", dir.File("out")}),
      Args({"stray", "-o", dir.File("out")}),
      Args({"-o"}),
  };
  for (const ToolArgs& args : cases) {
    EXPECT_EQ(RunPack(args), 2);
  }
  EXPECT_FALSE(Exists(dir.File("out")));
}

// The one validation, as the loader and inspect apply it: each package is
// taken by both or refused by both, with the same reason.
struct ValidationCase {
  const char* name;
  std::uint64_t eboot, pda, phone;          // image sizes behind a 5000-byte executable
  std::function<void(sImageHeader&)> edit;  // applied to the sound header of those sizes
  std::uint64_t keep;                       // image bytes kept before the record (a cut-off file)
  std::string verdict;                      // empty: sound
  int downEboot;
};

std::string Inspect(const std::string& path, int* status) {
  ::testing::internal::CaptureStdout();
  *status = RunInspect({path});
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

TEST_F(PackTest, OneValidationForLoaderAndInspect) {
  const auto same = [](sImageHeader&) {};
  constexpr std::uint64_t kAll = ~std::uint64_t{0};
  const ValidationCase cases[] = {
      {"EBOOT, PDA and phone", 3000, 7000, 2100, same, kAll, "", 1},
      {"no EBOOT", 0, 7000, 2100, same, kAll, "", 0},
      {"one byte each", 1, 1, 1, same, kAll, "", 1},
      {"whole KiB", 0, 1024, 2048, same, kAll, "", 0},
      {"wrong magic", 3000, 7000, 2100, [](sImageHeader& h) { h.dwMagic = 0x424A4448; }, kAll,
       "no package: dwMagic is not \"IDJB\"", 0},
      {"EBOOT offset 0 with a size", 3000, 7000, 2100, [](sImageHeader& h) { h.dwEbootOffset = 0; }, kAll,
       "no package: dwEbootOffset 0 and dwEbootSize 3000 disagree on whether there is an EBOOT image", 0},
      {"EBOOT size 0 with an offset", 3000, 7000, 2100, [](sImageHeader& h) { h.dwEbootSize = 0; }, kAll,
       "no package: dwEbootOffset 5000 and dwEbootSize 0 disagree on whether there is an EBOOT image", 0},
      {"EBOOT past the record", 3000, 7000, 2100, [](sImageHeader& h) { h.dwEbootSize = 20000; }, kAll,
       "no package: EBOOT image at 5000 + 20000 bytes runs past sImageHeader at 17100", 0},
      {"PDA offset elsewhere", 3000, 7000, 2100, [](sImageHeader& h) { h.dwPdaOffset += 1; }, kAll,
       "no package: dwPdaOffset 8001 should be 8000", 0},
      {"PDA offset beyond the record", 0, 7000, 2100, [](sImageHeader& h) { h.dwPdaOffset = 0x7FFFFFFF; },
       kAll, "no package: dwPdaOffset 2147483647 lies beyond sImageHeader at 14100", 0},
      {"every offset 0", 3000, 7000, 2100,
       [](sImageHeader& h) { h.dwEbootOffset = h.dwPdaOffset = h.dwPhoneOffset = 0; }, kAll,
       "no package: dwEbootOffset 0 and dwEbootSize 3000 disagree on whether there is an EBOOT image", 0},
      {"every offset 0 without an EBOOT", 0, 7000, 2100,
       [](sImageHeader& h) { h.dwPdaOffset = h.dwPhoneOffset = 0; }, kAll,
       "no package: dwPhoneOffset 0 should be 7000", 0},
      {"every size 0", 0, 7000, 2100, [](sImageHeader& h) { h.dwPdaSize = h.dwPhoneSize = 0; }, kAll,
       "no package: the PDA image is empty (dwPdaSize 0)", 0},
      {"PDA empty", 3000, 7000, 2100,
       [](sImageHeader& h) {
         h.dwPdaSize = 0;
         h.dwPhoneOffset = 8000;
       },
       kAll, "no package: the PDA image is empty (dwPdaSize 0)", 0},
      {"phone empty", 3000, 7000, 2100, [](sImageHeader& h) { h.dwPhoneSize = 0; }, kAll,
       "no package: the phone image is empty (dwPhoneSize 0)", 0},
      {"phone offset elsewhere", 3000, 7000, 2100, [](sImageHeader& h) { h.dwPhoneOffset = 0; }, kAll,
       "no package: dwPhoneOffset 0 should be 15000", 0},
      {"a gap before the record", 3000, 7000, 2100, [](sImageHeader& h) { h.dwPhoneSize -= 1; }, kAll,
       "no package: the phone image ends at 17099, not where sImageHeader begins (17100)", 0},
      {"PDA of 4 GiB", 3000, 7000, 2100, [](sImageHeader& h) { h.dwPdaSize = 0xFFFFFFFF; }, kAll,
       "no package: dwPhoneOffset 15000 should be 4294975295", 0},
      // The short reads: an image cut off at the end of the file; the EBOOT
      // image read before it stays.
      {"phone past the record", 3000, 7000, 2100, [](sImageHeader& h) { h.dwPhoneSize += 1; }, kAll,
       "short read: phone image at 15000 + 2101 bytes runs past sImageHeader at 17100", 1},
      {"cut off inside the PDA image", 3000, 7000, 2100, same, 3000 + 1500,
       "short read: PDA image at 8000 + 7000 bytes runs past sImageHeader at 9500", 1},
      {"cut off inside the phone image", 3000, 7000, 2100, same, 3000 + 7000 + 1000,
       "short read: phone image at 15000 + 2100 bytes runs past sImageHeader at 16000", 1},
  };
  for (const ValidationCase& c : cases) {
    SCOPED_TRACE(c.name);
    sImageHeader header = SoundHeader(5000, c.eboot, c.pda, c.phone);
    c.edit(header);
    Bytes images = Pattern(c.eboot, 1);
    const Bytes pda = Pattern(c.pda, 2), phone = Pattern(c.phone, 3);
    images.insert(images.end(), pda.begin(), pda.end());
    images.insert(images.end(), phone.begin(), phone.end());
    images.resize(std::min<std::uint64_t>(c.keep, images.size()));
    WritePackage(dir.File("package"), Pattern(5000, 0), images, {}, {}, header);

    CImageSet set;
    EXPECT_EQ(set.LoadAttachedImages(dir.File("package")), c.verdict.empty() ? TRUE : FALSE);
    EXPECT_EQ(set.m_strLoadError, c.verdict);
    EXPECT_EQ(set.m_bDownEboot, c.downEboot);
    EXPECT_EQ(set.m_bImageLoaded, c.verdict.empty() ? 1 : 0);
    int status = -1;
    const std::string printed = Inspect(dir.File("package"), &status);
    EXPECT_EQ(status, c.verdict.empty() ? 0 : 1);
    EXPECT_NE(printed.find("layout: " + (c.verdict.empty() ? "sound" : "not sound: " + c.verdict) + "\n"),
              std::string::npos)
        << printed;
  }
}

TEST_F(PackTest, InspectRefusals) {
  ASSERT_EQ(RunPack(Args({"--eboot", dir.File("eboot.nb0"), "-o", dir.File("good")})), 0);
  EXPECT_EQ(RunInspect({dir.File("good")}), 0);
  WriteFile(dir.File("tiny"), Bytes(20, 0));
  int status = -1;
  EXPECT_NE(Inspect(dir.File("tiny"), &status)
                .find("layout: not sound: no package: the file is shorter than the 36-byte sImageHeader\n"),
            std::string::npos);
  EXPECT_EQ(status, 1);
  CImageSet set;
  EXPECT_FALSE(set.LoadAttachedImages(dir.File("tiny")));
  EXPECT_EQ(set.m_strLoadError, "no package: the file is shorter than the 36-byte sImageHeader");
  EXPECT_EQ(RunInspect({dir.File("absent")}), 1);
  EXPECT_EQ(RunInspect({}), 2);
  EXPECT_EQ(RunInspect({dir.File("good"), dir.File("good")}), 2);
  EXPECT_EQ(RunInspect({"--verbose", dir.File("good")}), 2);
}

// The real program, copied beside a stand-in upgrader: pack takes the
// "tidewell" next to itself by default.
int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(PackTest, ToolPacksTheUpgraderBesideItByDefault) {
  const std::string tool = dir.File("tidewell-tool");
  ASSERT_EQ(Shell("cp " + std::string(TIDEWELL_TOOL_BIN) + " " + tool), 0);
  ::chmod(dir.File("tidewell").c_str(), 0755);
  const std::string out = dir.File("tidewell-packed");
  ASSERT_EQ(Shell(tool + " pack --eboot " + dir.File("eboot.nb0") + " --pda " + dir.File("pda.bin") +
                  " --phone " + dir.File("phone.bin") + " -o " + out + " >/dev/null"),
            0);
  EXPECT_EQ(Mode(out), 0755u) << "the package runs";
  EXPECT_EQ(ReadRange(out, 0, 5000), Pattern(5000, 0));
  EXPECT_EQ(Shell(tool + " inspect " + out + " >/dev/null"), 0);
  EXPECT_EQ(Shell(tool + " inspect " + dir.File("tidewell") + " >/dev/null"), 1) << "no package";
  EXPECT_EQ(Shell(tool + " 2>/dev/null"), 2);
  EXPECT_EQ(Shell(tool + " frobnicate 2>/dev/null"), 2);
  CImageSet set;
  ASSERT_TRUE(set.LoadAttachedImages(out));
  EXPECT_EQ(set.m_ImageTable.dwEbootSize, 3000u);
  EXPECT_EQ(set.m_ImageTable.dwPdaSize, 7000u);
  EXPECT_EQ(set.m_PhoneFile.GetPacketCount(), 3u);
}

}  // namespace
}  // namespace tw::test
