// The main window with several armed slots: a row per slot under the
// documented controls that follows its slot's run (location, COM port,
// stage, bar, outcome, time), and a click on a row that shows the slot's log
// in the log box.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "ui/slotlogs.h"
#include "ui/slotrow.h"
#include "ui/slotrun.h"
#include "ui/textprogressctrl.h"
#include "ui/tidewelldlg.h"
#include "uitest.h"

namespace tw {
namespace {

std::string Caption(CTextProgressCtrl& bar) {
  char text[128];
  bar.GetWindowText(text, sizeof text);
  return text;
}

std::string CellText(CTidewellDlg& dlg, int nSlot, CSlotRow::Column column) {
  return dlg.SlotRow(nSlot)->Cell(column)->text().toStdString();
}

// One slot's run as a downloader reports it, from its own thread.
struct ScriptedRun {
  int nSlot;
  std::string log;
  std::string progress;
  int pos;
  std::vector<StageInfo> stages;
  bool bEnds;
  RunEnd end;
};

RunEnd MakeEnd(int nSlot, RunOutcome outcome, std::string reason, std::string location, int nComPort) {
  RunEnd end;
  end.nSlot = nSlot;
  end.outcome = outcome;
  end.reason = std::move(reason);
  end.location = std::move(location);
  end.nComPort = nComPort;
  return end;
}

class FourSlotWindow : public ::testing::Test {
 protected:
  FourSlotWindow() {
    dlg.SetRunClock(clock);
    test::ShowAndExpose(dlg);
  }

  void Play(const std::vector<ScriptedRun>& runs) {
    IRunObserver& observer = *dlg.RunObserver();
    std::vector<std::thread> workers;
    for (const ScriptedRun& run : runs) {
      workers.emplace_back([this, &observer, &run] {
        observer.OnRunStarted(run.nSlot);
        dlg.SlotLog(run.nSlot)->SetLogText(run.log);
        for (const StageInfo& stage : run.stages) observer.OnStageStarted(run.nSlot, stage);
        dlg.SlotProgress(run.nSlot)->SetText(run.progress);
        dlg.SlotProgress(run.nSlot)->SetPos(run.pos);
      });
    }
    for (std::thread& worker : workers) worker.join();
    // The runs took 75 s so far.
    clock.Advance(75'000);
    for (const ScriptedRun& run : runs) {
      if (run.bEnds) observer.OnRunEnded(run.end);
    }
    test::ShowReports(dlg);
  }

  VirtualClock clock;
  CTidewellDlg dlg{4};
};

TEST_F(FourSlotWindow, ARowPerSlotBelowTheDocumentedControls) {
  ASSERT_EQ(dlg.SlotCount(), 4);
  const DialogBaseUnits base = dlg.BaseUnits();
  const QRect logBox = dlg.LogBox()->geometry();
  int lastBottom = logBox.bottom();
  for (int i = 0; i < 4; ++i) {
    CSlotRow* row = dlg.SlotRow(i);
    ASSERT_NE(row, nullptr) << i;
    EXPECT_TRUE(row->isVisible()) << i;
    EXPECT_GT(row->geometry().top(), lastBottom) << "row " << i << " lies below the one before";
    EXPECT_EQ(row->geometry().left(), logBox.left()) << i;
    EXPECT_EQ(row->width(), logBox.width()) << i;
    EXPECT_EQ(CellText(dlg, i, CSlotRow::kSlot), std::to_string(i));
    EXPECT_EQ(CellText(dlg, i, CSlotRow::kStage), "idle");
    lastBottom = row->geometry().bottom();
  }
  EXPECT_EQ(dlg.SlotRow(4), nullptr);
  EXPECT_LE(lastBottom, dlg.ClientArea()->height()) << "the window grew to hold the rows";
  EXPECT_GT(dlg.ClientArea()->height(), MapDialogRect(QRect(0, 0, 227, 148), base).height());
  EXPECT_EQ(dlg.ChosenSlot(), 0);
  EXPECT_TRUE(dlg.SlotRow(0)->IsChosen());
  EXPECT_FALSE(dlg.SlotRow(1)->IsChosen());
  // Each row's bar has the upgrader's bar look.
  CTextProgressCtrl& bar = *dlg.SlotRow(3)->Bar();
  EXPECT_EQ(bar.GetBackgroundColour(), RGB(255, 255, 255));
  EXPECT_EQ(bar.GetTextColourOverBar(), RGB(0, 50, 0));
  EXPECT_EQ(bar.GetUpper(), 100);
}

TEST(OneSlotWindow, HasNoRowsAndKeepsItsSize) {
  CTidewellDlg dlg;
  EXPECT_EQ(dlg.SlotCount(), 1);
  EXPECT_EQ(dlg.SlotRow(0), nullptr);
  EXPECT_EQ(dlg.findChildren<CSlotRow*>().size(), 0);
  EXPECT_EQ(dlg.SlotLog(0), dlg.LogEdit());
  EXPECT_EQ(dlg.SlotProgress(0), dlg.ProgressBar());
  EXPECT_EQ(dlg.SlotLog(1), nullptr);
  EXPECT_EQ(dlg.SlotProgress(1), nullptr);
}

// Four runs at once: one done, one failed, one stopped, one still in a region.
TEST_F(FourSlotWindow, RowsFollowTheirRuns) {
  const StageInfo code("CODE", 0x10000, 0x20000, 128, 7);
  Play({
      {0,
       "[PDA]Device Found. = [0] \r\n",
       "[COM9]Phone image complete.",
       0,
       {StageInfo(RunStage::Hello), StageInfo(RunStage::Eboot), StageInfo(RunStage::PortOpening, 9),
        StageInfo(RunStage::Phone, 9)},
       true,
       MakeEnd(0, RunOutcome::Done, "", "1-1", 9)},
      {1,
       "[PDA]Device Found. = [1] \r\n",
       "TIME OUT :: Can't access device..",
       0,
       {StageInfo(RunStage::Hello), StageInfo(RunStage::Eboot)},
       true,
       MakeEnd(1, RunOutcome::Failed, "the last EBOOT record was not answered", "1-2", 0)},
      {2,
       "[PDA]Device Found. = [2] \r\n",
       "PDA downloading : 012 %",
       12,
       {StageInfo(RunStage::Hello), StageInfo(RunStage::OsImage)},
       true,
       MakeEnd(2, RunOutcome::Stopped, "", "1-3", 0)},
      {3,
       "[PDA]Device Found. = [3] \r\n",
       "[COM7] CODE downloading : 045 %",
       45,
       {StageInfo(RunStage::Hello), StageInfo(RunStage::PortOpening, 7), StageInfo(RunStage::Phone, 7), code},
       false,
       {}},
  });

  struct Expected {
    const char* location;
    const char* comPort;
    const char* stage;
    const char* outcome;
    const char* progress;
    int pos;
  };
  const Expected expected[] = {
      {"1-1", "COM9", "phone", "done", "[COM9]Phone image complete.", 0},
      {"1-2", "", "EBOOT", "failed", "TIME OUT :: Can't access device..", 0},
      {"1-3", "", "OS image", "stopped", "PDA downloading : 012 %", 12},
      {"", "COM7", "CODE", "", "[COM7] CODE downloading : 045 %", 45},
  };
  for (int i = 0; i < 4; ++i) {
    const Expected& e = expected[i];
    EXPECT_EQ(CellText(dlg, i, CSlotRow::kLocation), e.location) << i;
    EXPECT_EQ(CellText(dlg, i, CSlotRow::kComPort), e.comPort) << i;
    EXPECT_EQ(CellText(dlg, i, CSlotRow::kStage), e.stage) << i;
    EXPECT_EQ(CellText(dlg, i, CSlotRow::kOutcome), e.outcome) << i;
    EXPECT_EQ(CellText(dlg, i, CSlotRow::kElapsed), "1:15") << i;
    EXPECT_EQ(Caption(*dlg.SlotRow(i)->Bar()), e.progress) << i;
    EXPECT_EQ(dlg.SlotRow(i)->Bar()->GetPos(), e.pos) << i;
  }
  EXPECT_EQ(dlg.SlotRow(1)->Cell(CSlotRow::kOutcome)->toolTip(),
            QStringLiteral("the last EBOOT record was not answered"));
  EXPECT_TRUE(dlg.SlotRow(0)->Cell(CSlotRow::kOutcome)->toolTip().isEmpty());
  // The open run's time goes on; the ended ones keep theirs.
  clock.Advance(60'000);
  dlg.UpdateData();
  EXPECT_EQ(CellText(dlg, 3, CSlotRow::kElapsed), "2:15");
  EXPECT_EQ(CellText(dlg, 0, CSlotRow::kElapsed), "1:15");
  // The documented bar and log box show the chosen slot, slot 0.
  EXPECT_EQ(Caption(*dlg.Progress()), "[COM9]Phone image complete.");
  EXPECT_EQ(dlg.LogBox()->toPlainText(), QStringLiteral("[PDA]Device Found. = [0] \n"));
}

// A click on a row shows that slot's log in the log box and its progress on
// the bar; the slot's later reports go on reaching both, the others' do not.
TEST_F(FourSlotWindow, ClickingARowShowsThatSlotsLog) {
  for (int i = 0; i < 4; ++i) {
    dlg.SlotLog(i)->SetLogText("[StartDownload => " + std::to_string(i) + "] StartDownload !!\r\n");
    dlg.SlotProgress(i)->SetText("slot " + std::to_string(i));
    dlg.SlotProgress(i)->SetPos(10 * i);
  }
  test::ShowReports(dlg);
  EXPECT_EQ(dlg.LogBox()->toPlainText(), QStringLiteral("[StartDownload => 0] StartDownload !!\n"));

  QTest::mouseClick(dlg.SlotRow(2)->Cell(CSlotRow::kStage), Qt::LeftButton);
  EXPECT_EQ(dlg.ChosenSlot(), 2);
  EXPECT_TRUE(dlg.SlotRow(2)->IsChosen());
  EXPECT_FALSE(dlg.SlotRow(0)->IsChosen());
  EXPECT_EQ(dlg.LogBox()->toPlainText(), QStringLiteral("[StartDownload => 2] StartDownload !!\n"));
  EXPECT_EQ(Caption(*dlg.Progress()), "slot 2");
  EXPECT_EQ(dlg.Progress()->GetPos(), 20);

  dlg.SlotLog(2)->SetLogText("[StartDownload => 2] StartDownload !!\r\n[PDA]Device Found. = [2] \r\n");
  dlg.SlotLog(1)->SetLogText("[StartDownload => 1] StartDownload !!\r\n[PDA]Device Found. = [1] \r\n");
  dlg.SlotProgress(1)->SetText("slot 1 later");
  test::ShowReports(dlg);
  EXPECT_EQ(dlg.LogBox()->toPlainText(),
            QStringLiteral("[StartDownload => 2] StartDownload !!\n[PDA]Device Found. = [2] \n"));
  EXPECT_EQ(Caption(*dlg.Progress()), "slot 2");

  QTest::mouseClick(dlg.SlotRow(1), Qt::LeftButton);
  EXPECT_EQ(dlg.LogBox()->toPlainText(),
            QStringLiteral("[StartDownload => 1] StartDownload !!\n[PDA]Device Found. = [1] \n"));
  EXPECT_EQ(Caption(*dlg.Progress()), "slot 1 later");
}

// A station line reaches every slot's log, the one shown at once.
TEST_F(FourSlotWindow, StationLinesReachEverySlotsLog) {
  dlg.SlotLog(1)->SetLogText("a\r\n");
  test::ShowReports(dlg);
  dlg.StationNote("A handset waits for a free slot.");
  EXPECT_EQ(dlg.LogBox()->toPlainText(), QStringLiteral("[station] A handset waits for a free slot.\n"));
  dlg.ChooseSlot(1);
  EXPECT_EQ(dlg.LogBox()->toPlainText(), QStringLiteral("a\n[station] A handset waits for a free slot.\n"));
}

// A slot's text: its downloader's log with the station lines in between. A
// log that starts again (a new run) drops the last run's lines and the
// station lines among them, and keeps those that came after them.
TEST(SlotLogs, StationLinesKeepTheirPlace) {
  const std::string note = CSlotLogs::NoteLine("n");
  struct Step {
    const char* what;  // "log" or "note"
    const char* text;
    bool bTail;            // for a log: only a tail was added
    const char* expected;  // slot 0's text after the step
  };
  const Step steps[] = {
      {"log", "a\r\n", true, "a\r\n"},
      {"note", "n", true, "a\r\n[station] n\r\n"},
      {"log", "a\r\nb\r\n", true, "a\r\n[station] n\r\nb\r\n"},
      {"log", "a\r\nb\r\n", true, "a\r\n[station] n\r\nb\r\n"},
      {"note", "n", true, "a\r\n[station] n\r\nb\r\n[station] n\r\n"},
      {"log", "c\r\n", false, "[station] n\r\nc\r\n"},
      {"log", "", false, ""},
  };
  CSlotLogs logs(2);
  for (const Step& step : steps) {
    if (std::string(step.what) == "note") {
      logs.AddNote(step.text);
    } else {
      EXPECT_EQ(logs.SetLog(0, step.text).bTail, step.bTail) << step.text;
    }
    EXPECT_EQ(logs.Text(0), step.expected) << step.what << " " << step.text;
  }
  EXPECT_EQ(logs.Text(1), note + note) << "the other slot has the station lines alone";
}

TEST(SlotRun, LocationIsTakenOnlyAfterTheHandshake) {
  CSlotRun run;
  run.Start(0);
  run.StageStarted(StageInfo(RunStage::Hello));
  run.LearnLocation("1-9");  // still the last handset's
  EXPECT_EQ(run.LocationText(), "");
  run.StageEnded(StageInfo(RunStage::Hello), StageOutcome(StageResult::Done()));
  run.LearnLocation("1-2");
  EXPECT_EQ(run.LocationText(), "1-2");
  RunEnd end = MakeEnd(0, RunOutcome::Done, "", "", 0);
  end.skippedRegions = {"CODE", "EFS"};
  run.End(end, 1000);
  EXPECT_EQ(run.LocationText(), "1-2") << "an end without a location keeps the one learnt";
  EXPECT_EQ(run.OutcomeDetail(), "skipped (erase refused): CODE EFS");
  run.Start(2000);
  EXPECT_EQ(run.LocationText(), "") << "a new run forgets the last handset";
  EXPECT_EQ(run.OutcomeText(), "");
}

TEST(SlotRun, ElapsedTimes) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0, "0:00"},          {59'999, "0:59"},       {60'000, "1:00"},
      {3'599'000, "59:59"}, {3'600'000, "1:00:00"}, {36'061'000, "10:01:01"}};
  for (const auto& [ms, text] : cases) EXPECT_EQ(FormatElapsed(ms), text) << ms;
  // Across the tick count's wrap.
  CSlotRun run;
  EXPECT_EQ(run.ElapsedText(5), "");
  run.Start(0xFFFFF000u);
  EXPECT_EQ(run.ElapsedText(0x1000u), "0:08");
}

}  // namespace
}  // namespace tw
