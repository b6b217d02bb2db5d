// The headless window: stdout carries exactly the log, stderr the progress
// and messages, and the run's outcome decides the exit status.
#include "cli/headlessview.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdlib>
#include <string>

namespace tw {
namespace {

// Two memory streams standing for stdout and stderr.
class Streams {
 public:
  Streams() : out(open_memstream(&m_outText, &m_outSize)), err(open_memstream(&m_errText, &m_errSize)) {}
  ~Streams() {
    std::fclose(out);
    std::fclose(err);
    std::free(m_outText);
    std::free(m_errText);
  }
  std::string Out() {
    std::fflush(out);
    return std::string(m_outText, m_outSize);
  }
  std::string Err() {
    std::fflush(err);
    return std::string(m_errText, m_errSize);
  }
  std::FILE* out;
  std::FILE* err;

 private:
  char* m_outText = nullptr;
  std::size_t m_outSize = 0;
  char* m_errText = nullptr;
  std::size_t m_errSize = 0;
};

// The status the loop ends with once the view has seen the calls.
int EndStatus(CMessageLoop& loop) {
  loop.Post([&loop] { loop.Quit(-1); });  // nothing decided
  return loop.Run().value_or(-2);
}

TEST(HeadlessView, LogLinesAsLogged) {
  CMessageLoop loop;
  Streams s;
  CHeadlessView view(loop, s.out, s.err, false);
  view.SetLogText("[PDA] one\r\n");
  view.SetLogText("[PDA] one\r\nParam = (7)");
  view.SetLogText("[PDA] one\r\nParam = (7)dwWriteLen = <1>\r\n");
  view.SetLogText("");           // the log was reset
  view.SetLogText("again\r\n");  // a new log starts
  EXPECT_EQ(s.Out(), "[PDA] one\nParam = (7)dwWriteLen = <1>\nagain\n");
  EXPECT_EQ(s.Err(), "");
}

TEST(HeadlessView, OneProgressLinePerChange) {
  CMessageLoop loop;
  Streams s;
  CHeadlessView view(loop, s.out, s.err, false);
  view.SetText("Eboot downloading : 001 %");
  view.SetPos(1);
  view.SetText("Eboot downloading : 001 %");
  view.SetPos(1);  // no change
  view.SetText("Eboot image complete.");
  view.SetPos(0);
  EXPECT_EQ(s.Err(), "progress   1% Eboot downloading : 001 %\nprogress   0% Eboot image complete.\n");
  EXPECT_EQ(s.Out(), "");
}

// The run's outcome decides, whatever the bar said last.
TEST(HeadlessView, TheOutcomeDecidesTheStatus) {
  struct Case {
    const char* lastText;
    RunOutcome outcome;
    int status;
  };
  const Case cases[] = {
      {"[COM7]Phone image complete.", RunOutcome::Done, 0},
      {"PDA OS image completed.", RunOutcome::Done, 0},
      {"[COM7]Phone image complete.", RunOutcome::Failed, 1},
      {"[COM7] Wait.download is in proceeding...", RunOutcome::Stopped, 1},
      {"", RunOutcome::Failed, 1},
  };
  for (const Case& c : cases) {
    CMessageLoop loop;
    Streams s;
    CHeadlessView view(loop, s.out, s.err, false);
    view.SetText(c.lastText);
    view.SetPos(0);
    view.DownloadDone(RunEnd{0, c.outcome, {}, {}});
    EXPECT_EQ(EndStatus(loop), c.status) << c.lastText;
  }
}

// A failure's progress text ends nothing: the run's end event does.
TEST(HeadlessView, ProgressTextsEndNothing) {
  CMessageLoop loop;
  Streams s;
  CHeadlessView view(loop, s.out, s.err, false);
  view.SetText("[COM7] PHONE download fail.[id0]");
  view.SetPos(0);
  EXPECT_EQ(EndStatus(loop), -1);
  EXPECT_EQ(s.Err(), "progress   0% [COM7] PHONE download fail.[id0]\n");
}

TEST(HeadlessView, StartAnswersEndWithUsageStatus) {
  struct Case {
    const char* text;
    int status;
  };
  const Case cases[] = {{"Select an image to download", 2}, {"Not Open File", 2}, {"HUB something\n", -1}};
  for (const Case& c : cases) {
    CMessageLoop loop;
    Streams s;
    CHeadlessView view(loop, s.out, s.err, false);
    view.MessageBox(c.text, "Tidewell", MessageIcon::Exclamation);
    EXPECT_EQ(EndStatus(loop), c.status) << c.text;
    std::string line = std::string("Tidewell: ") + c.text;
    EXPECT_EQ(s.Err(), line.back() == '\n' ? line : line + "\n");
  }
}

TEST(HeadlessView, StartIsPressedOnceEnabled) {
  CMessageLoop loop;
  Streams s;
  CHeadlessView view(loop, s.out, s.err, false);
  int presses = 0;
  view.SetStartHandler([&] { ++presses; });
  view.EnableStart(FALSE);
  view.EnableStart(TRUE);
  EXPECT_EQ(presses, 0);  // not inside the handler that enabled it
  loop.PumpMessages();
  EXPECT_EQ(presses, 1);
}

TEST(HeadlessView, LiveBarRedrawsOneLine) {
  CMessageLoop loop;
  Streams s;
  CHeadlessView view(loop, s.out, s.err, true);
  view.SetText("a");
  view.SetPos(50);
  view.FinishProgress();
  std::string err = s.Err();
  EXPECT_EQ(err.rfind("\r\x1b[K[###############...............]  50% a", 0), 0u) << err;
  EXPECT_EQ(err.back(), '\n');
}

// With several slots each line names its slot; a line is written once it
// has ended, so two slots' lines never mix; a run ends the headless run once
// every slot has ended one, and a failed or (strict) skipping one fails it.
TEST(HeadlessView, SeveralSlotsNameTheirLinesAndEndAfterARunEach) {
  CMessageLoop loop;
  Streams s;
  CHeadlessView view(loop, s.out, s.err, false, HeadlessPolicy{2, false, true});
  EXPECT_EQ(view.SlotLog(2), nullptr);
  view.SlotLog(1)->SetLogText("Param = (7)");
  view.SlotLog(0)->SetLogText("[PDA] zero\r\n");
  view.SlotLog(1)->SetLogText("Param = (7)dwWriteLen = <1>\r\nhalf");
  view.SlotProgress(1)->SetText("[COM8] CODE downloading : 045 %");
  view.SlotProgress(1)->SetPos(45);
  view.FinishProgress();
  EXPECT_EQ(s.Out(), "[slot 0] [PDA] zero\n[slot 1] Param = (7)dwWriteLen = <1>\n[slot 1] half\n");
  EXPECT_EQ(s.Err(), "[slot 1] progress  45% [COM8] CODE downloading : 045 %\n");

  RunEnd done;
  done.nSlot = 0;
  view.DownloadDone(done);
  RunEnd skipped = done;
  skipped.nSlot = 1;
  skipped.skippedRegions = {"EFS"};
  view.DownloadDone(skipped);
  EXPECT_EQ(loop.Run().value_or(-2), kExitRunFailed) << "--strict fails a run that skipped a region";
}

}  // namespace
}  // namespace tw
