// The dialog's logic as the owner of the developer tools: an image they take
// clears the download-running flag, and none is replaced once a download
// has started.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/logicharness.h"
#include "tests/tools/scratchdir.h"

namespace tw::test {
namespace {

class DevToolsOwnerTest : public ::testing::Test {
 protected:
  DevToolsOwnerTest() {
    WriteBytes("pda.bin", SeededBytes(64, 5));
    h.Logic().m_DevTools.SetCallbacks(
        ToolCallbacks{[this](const std::string& text) { m_messages.push_back(text); },
                      [](const std::string&, DWORD) { return std::optional<std::string>("pda.bin"); }});
  }

  ScratchDir m_dir;
  LogicHarness h;
  std::vector<std::string> m_messages;
};

TEST_F(DevToolsOwnerTest, ATakenImageClearsTheDownloadRunningFlag) {
  h.Logic().m_bRundnload[0] = 1;
  EXPECT_TRUE(h.Logic().m_DevTools.OpenPdaFile());
  EXPECT_EQ(h.Logic().m_bRundnload[0], 0);
  EXPECT_EQ(h.Logic().m_Images.m_ImageTable.dwPdaSize, 64u);
  EXPECT_EQ(h.Logic().m_Images.m_bImageLoaded, 1);
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(DevToolsOwnerTest, AStartedDownloadKeepsImagesAndFlags) {
  h.Logic().m_bDownStart[0] = 1;
  h.Logic().m_bRundnload[0] = 1;
  EXPECT_FALSE(h.Logic().m_DevTools.OpenPdaFile());
  EXPECT_EQ(h.Logic().m_DevTools.OpenOneFileImage(), CDevTools::kOneFileDownloadRunning);
  EXPECT_EQ(m_messages, std::vector<std::string>(2, kDownloadRunning));
  EXPECT_EQ(h.Logic().m_bRundnload[0], 1);
  EXPECT_EQ(h.Logic().m_Images.m_ImageTable.dwPdaSize, 0u);
}

}  // namespace
}  // namespace tw::test
