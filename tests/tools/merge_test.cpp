// The merge INI and the merge: slot layout, zero padding, cutting, the
// messages of each failure, no output left behind, and sets refused when
// their INI does not fit the sets' room.
#include "tools/merge.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "firmware/imageset.h"
#include "tests/tools/recordingtools.h"
#include "tests/tools/scratchdir.h"
#include "tools/devtools.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

class MergeTest : public ::testing::Test, protected RecordingTools {
 protected:
  // Writes Vellumark.ini with a BOOT_IMAGE section of the given lines and
  // reads it as dialog initialisation does.
  void ReadIni(const std::string& lines) {
    WriteText("Vellumark.ini", "[BOOT_IMAGE]\n" + lines);
    m_tools.ReadIniFiles();
  }

  ScratchDir m_dir;
};

const std::string kSuccess = "Vellumark Merge에 성공하였습니다. - ";
const std::string kCreateFailed = "파일생성을 실패하였습니다.";

TEST_F(MergeTest, TwoFilesFillTheirSlotsFromTheirOffsets) {
  struct LayoutCase {
    int offset1;
    std::size_t size1, size2;
  };
  const LayoutCase cases[] = {
      {0, 16, 32},  // both fill their slots exactly
      {0, 40, 10},  // file 1 cut to its slot, file 2 zero-padded
      {4, 30, 32},  // file 1 from byte 4 on
      {4, 10, 0},   // file 1 ends inside its slot after the offset; file 2 empty
      {20, 10, 5},  // file 1 shorter than its offset: zeros only
  };
  for (const LayoutCase& c : cases) {
    const Bytes file1 = SeededBytes(c.size1, 1), file2 = SeededBytes(c.size2, 2);
    WriteBytes("one.bin", file1);
    WriteBytes("two.bin", file2);
    m_messages.clear();
    ReadIni("FILE_COUNT=2\nFILE_DIR=" + m_dir.Path().string() +
            "\nFILE_NAME1=one.bin\nFILE_ADDR1=0\nFILE_OFFSET1=" + std::to_string(c.offset1) +
            "\nFILE_NAME2=two.bin\nFILE_ADDR2=16\nFILE_END_ADDRESS=48\nOUTPUT_FILE=out.img\n");
    ASSERT_EQ(m_tools.MergeImages(), kMergeOk) << c.offset1 << "/" << c.size1;

    Bytes expected(48, 0);
    for (std::size_t i = 0; i < 16 && c.offset1 + i < file1.size(); ++i) expected[i] = file1[c.offset1 + i];
    for (std::size_t i = 0; i < 32 && i < file2.size(); ++i) expected[16 + i] = file2[i];
    EXPECT_EQ(ReadBytes("out.img"), expected) << c.offset1 << "/" << c.size1;
    EXPECT_EQ(m_messages, std::vector<std::string>{kSuccess + "out.img!!"});
  }
}

TEST_F(MergeTest, ReadingTurnsAddressesIntoSlotSizesAndAllocates) {
  ReadIni(
      "FILE_COUNT=3\nFILE_DIR=C:\\img\nFILE_NAME1=a\nFILE_ADDR1=0x100\nFILE_NAME2=b\nFILE_ADDR2=256\n"
      "FILE_OFFSET2=8\nFILE_NAME3=c\nFILE_ADDR3=1024\nFILE_END_ADDRESS=4096\nOUTPUT_FILE=out\\m.img\n");
  const MergeSet& set = m_tools.m_MergeSets[0];
  ASSERT_EQ(set.nCount, 3);
  // "0x100" reads as 0: the slot of a runs from 0 to 256.
  EXPECT_EQ(set.entries[0].strFileName, "C:/img/a");
  EXPECT_EQ(set.entries[0].nAddress, 256);
  EXPECT_EQ(set.entries[1].nAddress, 768);
  EXPECT_EQ(set.entries[1].nOffset, 8);
  EXPECT_EQ(set.entries[1].nBufferSize, 776u);
  EXPECT_EQ(set.entries[2].nAddress, 3072);
  EXPECT_NE(set.entries[2].pBuffer, nullptr);
  EXPECT_EQ(set.strOutputFile, "out/m.img");
  EXPECT_TRUE(m_messages.empty());
  // Set 2 comes from its own file, which is missing here.
  EXPECT_EQ(m_tools.m_MergeSets[1].nCount, 0);
}

TEST_F(MergeTest, NoEntriesGiveAnEmptyOutput) {
  ReadIni("FILE_COUNT=0\nOUTPUT_FILE=empty.img\n");
  EXPECT_EQ(m_tools.m_MergeSets[0].entries[0].pBuffer, nullptr);
  EXPECT_EQ(m_tools.MergeImages(), kMergeOk);
  EXPECT_TRUE(fs::exists("empty.img"));
  EXPECT_EQ(fs::file_size("empty.img"), 0u);
  EXPECT_EQ(m_messages, std::vector<std::string>{kSuccess + "empty.img!!"});
}

TEST_F(MergeTest, MissingIniAllocatesNothingAndNamesNoOutput) {
  m_tools.ReadIniFiles();
  for (const MergeSet& set : m_tools.m_MergeSets) {
    EXPECT_EQ(set.nCount, 0);
    EXPECT_EQ(set.entries[0].pBuffer, nullptr);
  }
  EXPECT_TRUE(m_messages.empty());
  // Without OUTPUT_FILE there is nothing to create.
  EXPECT_EQ(m_tools.MergeImages(), kMergeCannotCreate);
  EXPECT_EQ(m_messages, std::vector<std::string>{"Couldn't Create the File - !!"});
}

TEST_F(MergeTest, FailuresShowTheirMessagesAndLeaveNoOutput) {
  WriteBytes("one.bin", SeededBytes(16, 1));
  struct FailureCase {
    const char* what;
    std::string dir, name, output;
    int result;
    std::vector<std::string> messages;
  };
  const std::string here = m_dir.Path().string();
  const FailureCase cases[] = {
      {"input missing",
       here,
       "absent.bin",
       "out.img",
       kMergeCannotOpen,
       {"Couldn't Open the File " + here + "/absent.bin!!"}},
      {"input is a directory",
       here,
       "sub",
       "out.img",
       kMergeCannotOpen,
       {"Couldn't Open the File " + here + "/sub!!"}},
      {"input cannot be read",
       "/proc/self",
       "mem",
       "out.img",
       kMergeReadFailed,
       {kCreateFailed, kCreateFailed + "-1"}},
      {"output in a missing directory",
       here,
       "one.bin",
       "nodir/out.img",
       kMergeCannotCreate,
       {"Couldn't Create the File - nodir/out.img!!"}},
      {"output cannot be written", here, "one.bin", "/dev/full", kMergeWriteFailed, {kCreateFailed}},
  };
  fs::create_directory("sub");
  for (const FailureCase& c : cases) {
    // An output of an earlier run is there: a failed merge removes it.
    WriteBytes("out.img", Bytes{1, 2, 3});
    m_messages.clear();
    ReadIni("FILE_COUNT=1\nFILE_DIR=" + c.dir + "\nFILE_NAME1=" + c.name +
            "\nFILE_ADDR1=0\nFILE_END_ADDRESS=16\nOUTPUT_FILE=" + c.output + "\n");
    EXPECT_EQ(m_tools.MergeImages(), c.result) << c.what;
    EXPECT_EQ(m_messages, c.messages) << c.what;
    if (c.output == "out.img") {
      EXPECT_FALSE(fs::exists("out.img")) << c.what;
    }
  }
  // A device named as the output is never deleted.
  EXPECT_TRUE(fs::exists("/dev/full"));
}

TEST_F(MergeTest, SetsBeyondTheRoomAreRefusedWhenRead) {
  const std::string longName(260, 'n');
  struct RefusedCase {
    const char* what;
    std::string lines;
    std::string reason;
  };
  const RefusedCase cases[] = {
      {"count above 100", "FILE_COUNT=101\n", "FILE_COUNT 101 is outside 0 to 100"},
      {"negative count", "FILE_COUNT=-1\n", "FILE_COUNT -1 is outside 0 to 100"},
      {"path above 259 characters",
       "FILE_COUNT=1\nFILE_DIR=0123456789\nFILE_NAME1=" + longName.substr(0, 254) + "\n",
       "FILE_NAME1 makes a path of 265 characters"},
      {"negative offset", "FILE_COUNT=1\nFILE_OFFSET1=-4\nFILE_END_ADDRESS=16\n",
       "FILE_OFFSET1 -4 is outside"},
      {"addresses descend", "FILE_COUNT=2\nFILE_ADDR1=32\nFILE_ADDR2=16\nFILE_END_ADDRESS=48\n",
       "FILE_ADDR2 is below FILE_ADDR1"},
      {"end below the last address", "FILE_COUNT=1\nFILE_ADDR1=32\nFILE_END_ADDRESS=16\n",
       "FILE_END_ADDRESS is below FILE_ADDR1"},
      {"enormous slot", "FILE_COUNT=1\nFILE_ADDR1=-2147483648\nFILE_END_ADDRESS=2147483647\n",
       "FILE_ADDR1 gives a slot of 4294967295 bytes"},
      {"slots together too large",
       "FILE_COUNT=2\nFILE_ADDR1=0\nFILE_OFFSET1=200000000\nFILE_ADDR2=100000000\nFILE_END_ADDRESS="
       "200000000\n",
       "the slots and offsets take 400000000 bytes"},
  };
  for (const RefusedCase& c : cases) {
    m_messages.clear();
    ReadIni(c.lines + "OUTPUT_FILE=out.img\n");
    const MergeSet& set = m_tools.m_MergeSets[0];
    EXPECT_EQ(set.nCount, 0) << c.what;
    EXPECT_EQ(set.entries[0].pBuffer, nullptr) << c.what;
    ASSERT_EQ(m_messages.size(), 1u) << c.what;
    EXPECT_NE(m_messages[0].find(c.reason), std::string::npos) << c.what << ": " << m_messages[0];
    EXPECT_NE(m_messages[0].find("Vellumark.ini"), std::string::npos) << c.what;
    // The merge says so again and writes nothing.
    EXPECT_EQ(m_tools.MergeImages(), kMergeRefusedSet) << c.what;
    EXPECT_EQ(m_messages.size(), 2u) << c.what;
    EXPECT_FALSE(fs::exists("out.img")) << c.what;
  }
}

TEST_F(MergeTest, HundredEntriesAndARepeatedMergeRereadTheInputs) {
  std::string lines = "FILE_COUNT=100\nFILE_DIR=" + m_dir.Path().string() + "\n";
  for (int n = 1; n <= 100; ++n) {
    lines += "FILE_NAME" + std::to_string(n) + "=in.bin\nFILE_ADDR" + std::to_string(n) + "=" +
             std::to_string((n - 1) * 4) + "\n";
  }
  ReadIni(lines + "FILE_END_ADDRESS=400\nOUTPUT_FILE=out.img\n");
  ASSERT_EQ(m_tools.m_MergeSets[0].nCount, 100);
  WriteBytes("in.bin", Bytes{1, 2});
  ASSERT_EQ(m_tools.MergeImages(), kMergeOk);
  WriteBytes("in.bin", Bytes{5, 6, 7, 8, 9});
  ASSERT_EQ(m_tools.MergeImages(), kMergeOk);
  Bytes expected;
  for (int n = 0; n < 100; ++n) expected.insert(expected.end(), {5, 6, 7, 8});
  EXPECT_EQ(ReadBytes("out.img"), expected);
}

}  // namespace
}  // namespace tw::test
