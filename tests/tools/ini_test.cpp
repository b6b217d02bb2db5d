// The profile reader's rules, one table: each case is an INI text, a lookup,
// and what GetString and GetInt return.
#include "tools/ini.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/tools/scratchdir.h"
#include "tools/toolpath.h"

namespace tw::test {
namespace {

struct IniCase {
  const char* rule;
  std::string text;
  const char* section;
  const char* key;
  std::string string;
  int integer;
};

const std::string kLong(300, 'x');

const IniCase kCases[] = {
    {"plain entry", "[S]\nK=v\n", "S", "K", "v", 0},
    {"section without regard to case", "[Boot_Image]\nK=v\n", "BOOT_IMAGE", "K", "v", 0},
    {"key without regard to case", "[S]\nfile_count=7\n", "S", "FILE_COUNT", "7", 7},
    {"blanks around names and values", "  [ S ]  \n\t K \t=\t  a b  \r\n", "S", "K", "a b", 0},
    {"CRLF line ends", "[S]\r\nK=12\r\n", "S", "K", "12", 12},
    {"comment line is no entry", "[S]\n;K=1\n", "S", "K", "", 0},
    {"indented comment line", "[S]\n   ; K=1\nK=2\n", "S", "K", "2", 2},
    {"';' inside a value stays", "[S]\nK=a;b\n", "S", "K", "a;b", 0},
    {"missing key", "[S]\nK=1\n", "S", "OTHER", "", 0},
    {"missing section", "[T]\nK=1\n", "S", "K", "", 0},
    {"entries before any section", "K=1\n[S]\n", "S", "K", "", 0},
    {"key of another section", "[S]\nA=1\n[T]\nK=1\n", "S", "K", "", 0},
    {"first entry of a key wins", "[S]\nK=1\nK=2\n", "S", "K", "1", 1},
    {"first section of a name is searched", "[S]\nA=1\n[S]\nK=2\n", "S", "K", "", 0},
    {"empty value", "[S]\nK=\n", "S", "K", "", 0},
    {"line without '=' is an empty entry", "[S]\nK\n", "S", "K", "", 0},
    {"quotes are taken off", "[S]\nK=\"C:\\a b\"\n", "S", "K", "C:\\a b", 0},
    {"single quotes too", "[S]\nK='x'\n", "S", "K", "x", 0},
    {"unmatched quote stays", "[S]\nK=\"x\n", "S", "K", "\"x", 0},
    {"value cut to 254 characters", "[S]\nK=" + kLong + "\n", "S", "K", kLong.substr(0, 254), 0},
    {"byte order mark", "\xEF\xBB\xBF[S]\nK=3\n", "S", "K", "3", 3},
    {"section name up to ']'", "[S] trailing\nK=4\n", "S", "K", "4", 4},
    {"negative integer", "[S]\nK=-16\n", "S", "K", "-16", -16},
    {"plus sign", "[S]\nK=+16\n", "S", "K", "+16", 16},
    {"digits up to the first other character", "[S]\nK=12abc\n", "S", "K", "12abc", 12},
    {"no digits is 0", "[S]\nK=abc\n", "S", "K", "abc", 0},
    {"hexadecimal is not read", "[S]\nK=0x10\n", "S", "K", "0x10", 0},
    {"a lone sign is 0", "[S]\nK=-\n", "S", "K", "-", 0},
    {"32 bits wrap around", "[S]\nK=4294967297\n", "S", "K", "4294967297", 1},
    {"largest signed value", "[S]\nK=2147483647\n", "S", "K", "2147483647", 2147483647},
    {"above it wraps negative", "[S]\nK=2147483648\n", "S", "K", "2147483648", -2147483647 - 1},
};

TEST(IniProfileTest, RulesTable) {
  for (const IniCase& c : kCases) {
    ScratchDir dir;
    WriteText("t.ini", c.text);
    CIniProfile ini((dir.Path() / "t.ini").string());
    EXPECT_EQ(ini.GetString(c.key, c.section), c.string) << c.rule;
    EXPECT_EQ(ini.GetInt(c.key, c.section), c.integer) << c.rule;
  }
}

TEST(IniProfileTest, MissingFileOrDirectoryGivesDefaults) {
  ScratchDir dir;
  for (const std::string& path : {(dir.Path() / "absent.ini").string(), dir.Path().string(), std::string()}) {
    CIniProfile ini(path);
    EXPECT_EQ(ini.GetString("K", "S"), "") << path;
    EXPECT_EQ(ini.GetInt("K", "S"), 0) << path;
  }
}

TEST(IniProfileTest, ReadsTheFileAgainAtEveryCall) {
  ScratchDir dir;
  CIniProfile ini((dir.Path() / "t.ini").string());
  WriteText("t.ini", "[S]\nK=1\n");
  EXPECT_EQ(ini.GetInt("K", "S"), 1);
  WriteText("t.ini", "[S]\nK=2\n");
  EXPECT_EQ(ini.GetInt("K", "S"), 2);
}

TEST(ToolPathTest, BackslashesAreSeparators) {
  struct PathCase {
    std::string dir, name, joined;
  };
  const PathCase cases[] = {
      {"images", "a.bin", "images/a.bin"},
      {"C:\\img\\sub", "a.bin", "C:/img/sub/a.bin"},
      {"/abs/dir", "sub\\a.bin", "/abs/dir/sub/a.bin"},
      {"", "a.bin", "/a.bin"},  // an empty directory is the root, as it always was
  };
  for (const PathCase& c : cases) {
    EXPECT_EQ(JoinToolPath(c.dir, c.name), c.joined) << c.dir << " + " << c.name;
  }
  ScratchDir dir;
  // Compared as paths: Windows takes '/' and '\\' alike.
  EXPECT_EQ(std::filesystem::path(IniPathInCurrentDir("\\OneImgMergy.ini")), dir.Path() / "OneImgMergy.ini");
}

}  // namespace
}  // namespace tw::test
