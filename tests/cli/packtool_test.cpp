// tidewell-tool pack and inspect, and the packed upgrader loading itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

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
  const std::vector<std::string> before = dir.Entries();
  const ToolArgs cases[] = {
      {"--upgrader", dir.File("nope"), "--pda", dir.File("pda.bin"), "--phone", dir.File("phone.bin")},
      {"--upgrader", dir.File("tidewell"), "--eboot", dir.File("nope"), "--pda", dir.File("pda.bin"),
       "--phone", dir.File("phone.bin")},
      {"--upgrader", dir.File("tidewell"), "--pda", dir.File("nope"), "--phone", dir.File("phone.bin")},
      {"--upgrader", dir.File("tidewell"), "--pda", dir.File("pda.bin"), "--phone", dir.File("nope")},
      {"--upgrader", dir.File("tidewell"), "--pda", dir.File("adir"), "--phone", dir.File("phone.bin")},
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

TEST_F(PackTest, InspectVerdicts) {
  ASSERT_EQ(RunPack(Args({"--eboot", dir.File("eboot.nb0"), "-o", dir.File("good")})), 0);
  EXPECT_EQ(RunInspect({dir.File("good")}), 0);
  const Bytes exe = Pattern(5000, 0), eboot = Pattern(3000, 1), pda = Pattern(7000, 2),
              phone = Pattern(2100, 3);
  const sImageHeader sound = SoundHeader(5000, 3000, 7000, 2100);
  struct Bad {
    const char* name;
    std::function<void(sImageHeader&)> edit;
  };
  const Bad bad[] = {
      {"wrong magic", [](sImageHeader& h) { h.dwMagic = 0; }},
      {"PDA offset elsewhere", [](sImageHeader& h) { h.dwPdaOffset += 1; }},
      {"phone offset elsewhere", [](sImageHeader& h) { h.dwPhoneOffset = 0; }},
      {"phone shorter than the gap to the record", [](sImageHeader& h) { h.dwPhoneSize -= 1; }},
      {"phone beyond the record", [](sImageHeader& h) { h.dwPhoneSize += 1; }},
      {"EBOOT fields disagree", [](sImageHeader& h) { h.dwEbootOffset = 0; }},
      {"PDA of 4 GiB", [](sImageHeader& h) { h.dwPdaSize = 0xFFFFFFFF; }},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.name);
    sImageHeader header = sound;
    b.edit(header);
    WritePackage(dir.File("bad"), exe, eboot, pda, phone, header);
    EXPECT_EQ(RunInspect({dir.File("bad")}), 1);
  }
  WriteFile(dir.File("tiny"), Bytes(20, 0));
  EXPECT_EQ(RunInspect({dir.File("tiny")}), 1);
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
  ASSERT_EQ(Shell("cp " + std::string(TIDEWELL_BIN_DIR) + "/tidewell-tool " + tool), 0);
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
