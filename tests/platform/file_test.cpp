// CFile: the file class the loaders and tools read through.
#include "platform/file.h"

#include <gtest/gtest.h>

#include "tests/platform/testfiles.h"

namespace tw::test {
namespace {

TEST(File, SeekFromEachOriginAndRefusedSeekKeepsThePosition) {
  TempDir dir;
  const Bytes bytes = Pattern(100, 1);
  WriteFile(dir.File("f"), bytes);
  CFile file;
  ASSERT_TRUE(file.Open(dir.File("f")));
  EXPECT_EQ(file.GetLength(), 100u);
  EXPECT_EQ(file.Seek(-36, CFile::end), 64);
  EXPECT_EQ(file.Seek(6, CFile::current), 70);
  EXPECT_EQ(file.Seek(-1, CFile::begin), -1);
  EXPECT_EQ(file.GetPosition(), 70);
  BYTE got[50] = {};
  EXPECT_EQ(file.Read(got, sizeof got), 30u) << "stops at the end of the file";
  EXPECT_EQ(Bytes(got, got + 30), Bytes(bytes.begin() + 70, bytes.end()));
  EXPECT_EQ(file.Read(got, sizeof got), 0u);
}

TEST(File, CreateWriteStatusAndFailures) {
  TempDir dir;
  CFile out;
  ASSERT_TRUE(out.Open(dir.File("new"), CFile::modeCreate | CFile::modeWrite));
  ASSERT_TRUE(out.Write("abcdef", 6));
  CFileStatus status;
  ASSERT_TRUE(out.GetStatus(status));
  EXPECT_EQ(status.m_size, 6u);
  EXPECT_TRUE(status.m_regular);
  out.Close();
  EXPECT_FALSE(out.IsOpen());
  EXPECT_FALSE(out.Write("x", 1));
  EXPECT_EQ(out.Read(nullptr, 0), 0u);
  EXPECT_EQ(out.Seek(0, CFile::begin), -1);

  std::string error;
  CFile missing;
  EXPECT_FALSE(missing.Open(dir.File("absent"), CFile::modeRead, &error));
  EXPECT_EQ(error, "No such file or directory");
  // A directory opens on Linux and shows as not regular; Windows refuses it.
  CFile folder;
#if defined(_WIN32)
  EXPECT_FALSE(folder.Open(dir.Path()));
#else
  ASSERT_TRUE(folder.Open(dir.Path()));
  ASSERT_TRUE(folder.GetStatus(status));
  EXPECT_FALSE(status.m_regular);
#endif
}

}  // namespace
}  // namespace tw::test
