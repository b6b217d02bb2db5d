// The developer tools in the window: their items in the developer submenu,
// the Qt form of their file filters, the description texts, and a command
// whose message box shows in the window.
#include "ui/devtoolsmenu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include "firmware/imageset.h"
#include "ui/initthenevents.h"
#include "ui/tidewelldlg.h"
#include "uitest.h"

namespace tw {
namespace {

TEST(DevToolsMenuTest, FiltersInQtForm) {
  const std::pair<const char*, const char*> cases[] = {
      {"Eboot ROM Image (*.nb0)|*.nb0|", "Eboot ROM Image (*.nb0 *.NB0)"},
      {"PDA ROM Image (*.bin)|*.bin|", "PDA ROM Image (*.bin *.BIN)"},
      {"Phone Binary (*.bin)|*.BIN|", "Phone Binary (*.BIN *.bin)"},
      {"One File Mergy Image (*.img)|*.img|", "One File Mergy Image (*.img *.IMG)"},
  };
  for (const auto& [filter, qt] : cases) {
    EXPECT_EQ(QtFileFilter(filter).toStdString(), qt);
  }
}

class DevToolsWindowTest : public ::testing::Test {
 protected:
  DevToolsWindowTest() { AttachDevTools(dlg, tools); }

  CTidewellDlg dlg;
  CImageSet images;
  CDevTools tools{images};
};

TEST_F(DevToolsWindowTest, CommandsFollowTheNandItem) {
  QStringList texts;
  for (QAction* action : dlg.DeveloperMenu()->actions()) texts << action->text();
  EXPECT_EQ(texts, QStringList({"NAND Commands...", "Open EBOOT Image...", "Open PDA Image...",
                                "Open Phone Image...", "Make One-File Image", "Open One-File Image...",
                                "Merge Images", "Image Descriptions..."}));
}

TEST_F(DevToolsWindowTest, DescriptionsShowEachImage) {
  tools.m_strImageDesc = {"[Eboot Binary File]\r\ne.nb0\r\n", "", kSelectCorrectImage};
  EXPECT_EQ(ImageDescriptionsText(tools).toStdString(),
            "EBOOT:\n[Eboot Binary File]\ne.nb0\n\nPDA:\n(none)\n\nPHONE:\nSelect the Correct Image File!");
}

TEST_F(DevToolsWindowTest, MergeMessageShowsInTheWindow) {
  // No merge INI was read: there is no output to create.
  QString shown;
  QTimer::singleShot(0, [&shown] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box != nullptr) {
      shown = box->text();
      box->accept();
    }
  });
  dlg.DeveloperMenu()->actions()[6]->trigger();
  EXPECT_EQ(shown.toStdString(), "Couldn't Create the File - !!");
}

// The command line's selections run after the logic's initialisation.
TEST(InitThenEventsTest, StepRunsAfterInitialisation) {
  struct Inner final : ITidewellDlgEvents {
    std::string* trail;
    DownloadOwnerFlags flags;
    BOOL OnInitDialog() override {
      *trail += "init ";
      return TRUE;
    }
    void OnStart() override { *trail += "start "; }
    void OnStartDownload() override {}
    BOOL OnClose() override { return TRUE; }
    void DestroyWindow() override {}
    void OnDestroy() override {}
    DownloadOwnerFlags& OwnerFlags() override { return flags; }
  };
  std::string trail;
  Inner inner;
  inner.trail = &trail;
  CInitThenEvents events(inner, [&trail] { trail += "select "; });
  EXPECT_EQ(events.OnInitDialog(), TRUE);
  events.OnStart();
  EXPECT_EQ(trail, "init select start ");
  EXPECT_EQ(&events.OwnerFlags(), &inner.flags);
}

}  // namespace
}  // namespace tw
