#include "ui/tidewelldlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <memory>
#include <thread>

#include "ui/cdialognandselect.h"
#include "ui/dialogtemplate.h"
#include "ui/textprogressctrl.h"
#include "uitest.h"

namespace tw {
namespace {

// The logic's side of the window, recording what reaches it.
class FakeEvents final : public ITidewellDlgEvents {
 public:
  explicit FakeEvents(CTidewellDlg& dlg) : m_dlg(dlg) {}

  int initCount = 0, startCount = 0, startDownloadCount = 0, closeCount = 0, destroyCount = 0,
      onDestroyCount = 0;
  BOOL closeResult = TRUE;  // what OnClose answers
  DownloadOwnerFlags flags;

  BOOL OnInitDialog() override {
    ++initCount;
    return TRUE;
  }
  void OnStart() override { ++startCount; }
  void OnStartDownload() override { ++startDownloadCount; }
  BOOL OnClose() override {
    ++closeCount;
    if (closeResult) m_dlg.EndDialog(CDialog::IDCANCEL);
    return closeResult;
  }
  void DestroyWindow() override { ++destroyCount; }
  void OnDestroy() override {
    EXPECT_EQ(destroyCount, 1) << "OnDestroy after DestroyWindow";
    ++onDestroyCount;
  }
  DownloadOwnerFlags& OwnerFlags() override { return flags; }

 private:
  CTidewellDlg& m_dlg;
};

class MainDialogTest : public ::testing::Test {
 protected:
  MainDialogTest() { dlg.SetEvents(&events); }

  CTidewellDlg dlg;
  FakeEvents events{dlg};
};

QPoint Centre(const WinRect& r) {
  return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

TEST_F(MainDialogTest, InitialisationReadiesTheWindow) {
  test::ShowAndExpose(dlg);
  EXPECT_EQ(events.initCount, 1);
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("KORV-352 EXE Upgrader v1.1"));
  EXPECT_FALSE(dlg.StartButton()->isEnabled());
  EXPECT_FALSE(dlg.GetDlgItem(IDC_BUTTON_HIDDEN)->isVisible());
  EXPECT_TRUE(dlg.LogBox()->isReadOnly());
  EXPECT_FALSE(dlg.windowIcon().isNull());
  EXPECT_FALSE(dlg.MinimizeRect().IsEmpty()) << "the main window shows its minimise button";
  // The bar: caption emptied (it was "Progress2"), text on, the window's colours, 0 of 0..100.
  CTextProgressCtrl& bar = *dlg.Progress();
  EXPECT_EQ(bar.GetWindowTextLength(), 0);
  EXPECT_TRUE(bar.IsTextVisible());
  EXPECT_EQ(bar.GetBackgroundColour(), RGB(255, 255, 255));
  EXPECT_EQ(bar.GetTextColourOverBar(), RGB(0, 50, 0));
  EXPECT_EQ(bar.GetTextColourOverBackground(), RGB(0, 0, 0));
  EXPECT_EQ(bar.GetLower(), 0);
  EXPECT_EQ(bar.GetUpper(), 100);
  EXPECT_EQ(bar.GetPos(), 0);
}

// Template 102: every control where its dialog units put it for the font's
// base units.
TEST_F(MainDialogTest, ControlsSitWhereTheTemplatePutsThem) {
  const DialogBaseUnits base = BaseUnitsOf(dlg.font());
  ASSERT_GT(base.cx, 0);
  ASSERT_GT(base.cy, 0);
  struct Placed {
    int id;
    const char* text;  // for controls without an id
    QRect units;
  };
  const Placed table[] = {
      {IDC_PROGRESS, nullptr, {3, 2, 181, 15}},
      {IDC_BUTTON_START, nullptr, {190, 2, 34, 16}},
      {IDC_BUTTON_HIDDEN, nullptr, {116, 23, 10, 6}},
      {IDC_EDIT_LOG, nullptr, {3, 77, 221, 69}},
      {IDC_STATIC, "1. Connect your device to a PC using the cable.", {5, 29, 205, 13}},
      {IDC_STATIC, "2. Turn on the device with reflashing mode.", {5, 42, 151, 12}},
      {IDC_STATIC, "3. Please click \"Start\" button if the device found.", {5, 56, 176, 11}},
  };
  for (const Placed& p : table) {
    QWidget* control = nullptr;
    if (p.id != IDC_STATIC) {
      control = dlg.GetDlgItem(p.id);
    } else {
      for (QLabel* label : dlg.findChildren<QLabel*>())
        if (label->text() == QString::fromUtf8(p.text)) control = label;
    }
    ASSERT_NE(control, nullptr) << p.id << " " << (p.text ? p.text : "");
    EXPECT_EQ(control->geometry(), MapDialogRect(p.units, base)) << p.id << " " << (p.text ? p.text : "");
  }
  const QList<QGroupBox*> groups = dlg.findChildren<QGroupBox*>();
  ASSERT_EQ(groups.size(), 1);
  EXPECT_EQ(groups[0]->geometry(), MapDialogRect(QRect(3, 17, 221, 55), base));
  EXPECT_EQ(static_cast<QPushButton*>(dlg.GetDlgItem(IDC_BUTTON_START))->text(), QStringLiteral("Start"));
  // The client area is 227 x 148 units; the window adds the caption and edges.
  const QSize client = MapDialogRect(QRect(0, 0, 227, 148), base).size();
  EXPECT_EQ(dlg.ClientArea()->size(), client);
  EXPECT_EQ(dlg.size(), QSize(client.width() + 4, client.height() + 24));
}

TEST_F(MainDialogTest, SystemMenuEndsWithSeparatorAndAboutItem) {
  test::ShowAndExpose(dlg);
  const QList<QAction*> actions = dlg.GetSystemMenu()->actions();
  ASSERT_GE(actions.size(), 2);
  EXPECT_EQ(actions.back()->text(), QString::fromUtf8("Tidewell 정보(&A)..."));
  EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
}

TEST(MainDialogMenu, AnEmptyAboutTextAddsNeitherItemNorSeparator) {
  CTidewellDlg dlg;
  dlg.SetAboutMenuText(QString());
  test::ShowAndExpose(dlg);
  for (QAction* action : dlg.GetSystemMenu()->actions()) {
    EXPECT_FALSE(action->isSeparator());
    EXPECT_NE(action->text(), QString::fromUtf8("Tidewell 정보(&A)..."));
  }
}

TEST_F(MainDialogTest, AboutItemOpensTheAboutBox) {
  QString title;
  const test::ModalRun run = test::RunModal(dlg, [this, &title] {
    QTimer::singleShot(0, [&title] {
      QWidget* about = test::ActiveModal();
      ASSERT_NE(about, nullptr);
      title = about->windowTitle();
      QTest::keyClick(about, Qt::Key_Escape);
    });
    dlg.GetSystemMenu()->actions().back()->trigger();
  });
  EXPECT_EQ(title, QStringLiteral("Tidewell"));
  EXPECT_TRUE(run.leftOpen);
}

// The developer submenu holds the NAND command and takes further commands.
TEST_F(MainDialogTest, DeveloperMenuTakesCommands) {
  int ran = 0;
  QAction* action = dlg.AddDeveloperCommand(QStringLiteral("Open One Image..."), [&ran] { ++ran; });
  ASSERT_TRUE(dlg.DeveloperMenu()->actions().contains(action));
  EXPECT_EQ(dlg.DeveloperMenu()->actions().front()->text(), QStringLiteral("NAND Commands..."));
  action->trigger();
  EXPECT_EQ(ran, 1);
}

struct EndCase {
  const char* how;
  int result;
  int closeCount;  // OnClose runs only for a window close
};

// Caption close, Enter off the buttons, Escape and a window close: each ends
// the dialog once and destroys it once; only the window close passes OnClose.
TEST(MainDialogEnds, EveryWayEndsAndDestroysOnce) {
  const EndCase cases[] = {
      {"caption close", CDialog::IDOK, 0},
      {"enter in the log box", CDialog::IDOK, 0},
      {"escape", CDialog::IDCANCEL, 0},
      {"window close", CDialog::IDCANCEL, 1},
  };
  for (const EndCase& c : cases) {
    CTidewellDlg dlg;
    FakeEvents events(dlg);
    dlg.SetEvents(&events);
    const std::string how = c.how;
    const test::ModalRun run = test::RunModal(dlg, [&dlg, &how] {
      if (how == "caption close") {
        QTest::mousePress(&dlg, Qt::LeftButton, {}, Centre(dlg.CloseRect()));
        QTest::mouseRelease(&dlg, Qt::LeftButton, {}, Centre(dlg.CloseRect()));
      } else if (how == "enter in the log box") {
        dlg.LogBox()->setFocus();
        QTest::keyClick(dlg.LogBox(), Qt::Key_Return);
      } else if (how == "escape") {
        QTest::keyClick(&dlg, Qt::Key_Escape);
      } else {
        dlg.close();
      }
    });
    EXPECT_FALSE(run.leftOpen) << c.how;
    EXPECT_EQ(run.result, c.result) << c.how;
    EXPECT_EQ(events.closeCount, c.closeCount) << c.how;
    EXPECT_EQ(events.destroyCount, 1) << c.how;
    EXPECT_EQ(events.onDestroyCount, 1) << c.how;
  }
}

// A close the logic holds back (a connect is running) leaves the window open.
TEST_F(MainDialogTest, HeldBackCloseKeepsTheWindowOpen) {
  events.closeResult = FALSE;
  const test::ModalRun run = test::RunModal(dlg, [this] { dlg.close(); });
  EXPECT_TRUE(run.leftOpen);
  EXPECT_EQ(events.closeCount, 1);
}

// Enter on the focused Start button presses it instead of ending the dialog.
TEST_F(MainDialogTest, EnterOnStartPressesStart) {
  const test::ModalRun run = test::RunModal(dlg, [this] {
    dlg.EnableStart(TRUE);
    dlg.StartButton()->setFocus();
    QTest::keyClick(dlg.StartButton(), Qt::Key_Return);
  });
  EXPECT_TRUE(run.leftOpen);
  EXPECT_EQ(events.startCount, 1);
}

TEST_F(MainDialogTest, ButtonsReachTheLogic) {
  test::ShowAndExpose(dlg);
  dlg.EnableStart(TRUE);
  QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
  static_cast<QPushButton*>(dlg.GetDlgItem(IDC_BUTTON_HIDDEN))->click();
  EXPECT_EQ(events.startCount, 1);
  EXPECT_EQ(events.startDownloadCount, 1);
  dlg.EnableStart(FALSE);
  QTest::mouseClick(dlg.StartButton(), Qt::LeftButton);
  EXPECT_EQ(events.startCount, 1) << "a disabled Start does nothing";
}

// The log box shows the whole log a worker reports, without "\r", with its
// last line in view; a log that restarts replaces the text.
TEST_F(MainDialogTest, LogBoxShowsTheWholeLogFromAWorker) {
  test::ShowAndExpose(dlg);
  std::string log;
  std::thread worker([&] {
    for (int i = 0; i < 200; ++i) {
      log += "[PDA]Read Done. = [" + std::to_string(i) + "] \r\n";
      dlg.LogEdit()->SetLogText(log);
    }
  });
  worker.join();
  test::ShowReports(dlg);
  QString expected = QString::fromStdString(log);
  expected.remove(QLatin1Char('\r'));
  EXPECT_EQ(dlg.LogBox()->toPlainText(), expected);
  QScrollBar* bar = dlg.LogBox()->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());

  dlg.LogEdit()->SetLogText("[PDA] Connect and Power-on the Device.\r\n");
  test::ShowReports(dlg);
  EXPECT_EQ(dlg.LogBox()->toPlainText(), QStringLiteral("[PDA] Connect and Power-on the Device.\n"));
  dlg.LogEdit()->SetLogText("");
  test::ShowReports(dlg);
  EXPECT_TRUE(dlg.LogBox()->toPlainText().isEmpty());
}

TEST_F(MainDialogTest, ProgressFromAWorkerReachesTheBar) {
  test::ShowAndExpose(dlg);
  std::thread worker([&] {
    for (int i = 0; i <= 100; ++i) {
      dlg.ProgressBar()->SetText("Eboot downloading : " + std::to_string(i) + " %");
      dlg.ProgressBar()->SetPos(i);
    }
    dlg.ProgressBar()->SetText("Eboot image complete.");
    dlg.ProgressBar()->SetPos(0);
  });
  worker.join();
  test::ShowReports(dlg);
  char caption[64];
  dlg.Progress()->GetWindowText(caption, sizeof caption);
  EXPECT_STREQ(caption, "Eboot image complete.");
  EXPECT_EQ(dlg.Progress()->GetPos(), 0);
}

// The controls are updated at most once per frame: the first report at once,
// the ones that follow within the frame merged into one update at its end.
TEST(QueuedSinks, ReportsArePacedToOnePerFrame) {
  constexpr std::chrono::milliseconds kFrame(300);
  CTextProgressCtrl bar;
  QPlainTextEdit box;
  QueuedProgressSink progress(&bar, kFrame);
  QueuedLogSink log(&box, kFrame);
  progress.SetText("Connected");
  progress.SetPos(1);
  log.SetLogText("a\r\n");
  QCoreApplication::processEvents();
  EXPECT_EQ(bar.GetPos(), 1);
  EXPECT_EQ(box.toPlainText(), QStringLiteral("a\n"));

  const auto start = std::chrono::steady_clock::now();
  std::thread worker([&] {
    for (int i = 2; i <= 50; ++i) {
      progress.SetText("Eboot downloading : " + std::to_string(i) + " %");
      progress.SetPos(i);
    }
    log.SetLogText("a\r\nb\r\n");
  });
  worker.join();
  QCoreApplication::processEvents();
  if (std::chrono::steady_clock::now() - start < kFrame) {
    EXPECT_EQ(bar.GetPos(), 1) << "held back for the rest of the frame";
    EXPECT_FALSE(progress.Idle());
    EXPECT_FALSE(log.Idle());
  }
  EXPECT_TRUE(QTest::qWaitFor([&] { return progress.Idle() && log.Idle(); }, 5000));
  char caption[64];
  bar.GetWindowText(caption, sizeof caption);
  EXPECT_STREQ(caption, "Eboot downloading : 50 %");
  EXPECT_EQ(bar.GetPos(), 50);
  EXPECT_EQ(box.toPlainText(), QStringLiteral("a\nb\n"));
}

// A sink deleted with a delivery still waiting for its frame leaves nothing behind.
TEST(QueuedSinks, ADeletedSinkDropsItsWaitingDelivery) {
  CTextProgressCtrl bar;
  auto progress = std::make_unique<QueuedProgressSink>(&bar, std::chrono::seconds(10));
  progress->SetPos(1);
  QCoreApplication::processEvents();
  progress->SetPos(2);
  QCoreApplication::processEvents();
  progress.reset();
  QTest::qWait(100);
  EXPECT_EQ(bar.GetPos(), 1);
}

// NAND selection from the main window: the flag is set whatever the answer;
// the mask changes only on OK.
TEST_F(MainDialogTest, SelectNandCommandsSetsFlagAndTakesMaskOnOk) {
  test::ShowAndExpose(dlg);
  events.flags.m_dwNandMask = 0x10;
  QTimer::singleShot(0, [] {
    auto* nand = qobject_cast<CCDialogNandSelect*>(test::ActiveModal());
    ASSERT_NE(nand, nullptr);
    nand->Box(0)->setChecked(true);  // ERASE
    nand->Box(4)->setChecked(false);
    QTest::keyClick(nand, Qt::Key_Escape);
  });
  dlg.SelectNandCommands();
  EXPECT_EQ(events.flags.m_bNandSelect, 1);
  EXPECT_EQ(events.flags.m_dwNandMask, 0x10u) << "Escape keeps the mask";

  QTimer::singleShot(0, [] {
    auto* nand = qobject_cast<CCDialogNandSelect*>(test::ActiveModal());
    ASSERT_NE(nand, nullptr);
    EXPECT_TRUE(nand->Box(4)->isChecked());
    nand->Box(4)->setChecked(false);
    nand->Box(0)->setChecked(true);
    nand->Box(2)->setChecked(true);
    QTest::mouseClick(static_cast<QPushButton*>(GetDlgItem(nand, CDialog::IDOK)), Qt::LeftButton);
  });
  dlg.SelectNandCommands();
  EXPECT_EQ(events.flags.m_dwNandMask, 0x5u);
}

}  // namespace
}  // namespace tw
