// Closing the dialog: through WM_CLOSE or directly, with and without
// downloaders, and while a connect runs. Each downloader is deleted once.
#include <gtest/gtest.h>

#include "tests/app/logicharness.h"

namespace tw::test {
namespace {

// The window's end as the framework drives it after the dialog ended.
void EndWindow(LogicHarness& h) {
  h.Logic().DestroyWindow();
  h.Logic().OnDestroy();
}

TEST(Shutdown, NoDownloaderStillWaitsTheGrace) {
  LogicHarness h;
  EXPECT_EQ(h.Logic().OnClose(), TRUE);
  EndWindow(h);
  EXPECT_EQ(h.m_View.m_EndResults, (std::vector<int>{IDCANCEL}));
  EXPECT_EQ(h.m_Clock.Sleeps(), (std::vector<std::uint32_t>{2000}));
  // Released once: the second release in OnDestroy changes nothing.
  EXPECT_EQ(h.m_Events.m_nStops, 1);
  EXPECT_EQ(h.Logic().m_Images.m_bImageLoaded, 0);
}

TEST(Shutdown, AfterConnectCloseDeletesOnce) {
  LogicHarness h;
  h.Connect();
  ASSERT_EQ(h.m_Records.size(), 1u);
  h.Logic().OnClose();
  EXPECT_EQ(h.m_Records[0].nDestroyed, 1);
  EndWindow(h);
  h.m_pLogic.reset();
  EXPECT_EQ(h.m_Records[0].nDestroyed, 1);
  // DestroyWindow found the slot empty.
  EXPECT_EQ(h.CountCalls("ClearLog"), 0);
}

TEST(Shutdown, DirectEndDetachesThenDeletesOnce) {
  LogicHarness h;
  h.Connect();
  EndWindow(h);  // Escape: no WM_CLOSE
  EXPECT_EQ(h.m_Records[0].nDestroyed, 1);
  EXPECT_EQ(h.m_Records[0].calls.back(), "ClearProgressCtrl");
  EXPECT_EQ(h.CountCalls("ClearLog"), 1);
  EXPECT_EQ(h.m_Clock.Sleeps(), (std::vector<std::uint32_t>{2000}));
  for (IProgressSink* p : h.Logic().m_pProgress) {
    EXPECT_EQ(p, nullptr);
  }
  h.m_pLogic.reset();
  EXPECT_EQ(h.m_Records[0].nDestroyed, 1);
}

TEST(Shutdown, DownloaderWhoseConnectFailedIsDeletedToo) {
  LogicHarness h;
  h.m_Script.bConnectPda = FALSE;
  h.Connect();
  ASSERT_EQ(h.Logic().m_nMaxOpenDevice, 0);
  h.Logic().OnClose();
  EXPECT_EQ(h.m_Records[0].nDestroyed, 0);
  EndWindow(h);
  EXPECT_EQ(h.m_Records[0].nDestroyed, 1);
}

// With several slots the connects end in any order, and a slot whose
// connect ended before a lower slot's is never counted open: the close still
// deletes every slot's downloader, so that each run ends before the close.
TEST(Shutdown, WithSeveralSlotsCloseDeletesEverySlotsDownloader) {
  LogicHarness h(2, true);
  h.SetImages(1, 1, 0);
  h.m_Script.bManualConnectEnd = true;
  h.Arrive("pda@1-1");
  h.Arrive("pda@1-2");
  h.Drain();
  ASSERT_EQ(h.m_Records.size(), 2u);
  h.m_pLast->FinishConnect();  // slot 1's; slot 0's still runs
  h.Drain();
  ASSERT_EQ(h.CountCalls("StartDownload 1"), 1);
  ASSERT_EQ(h.Logic().m_nMaxOpenDevice, 0);
  h.Logic().OnClose();
  EXPECT_EQ(h.m_Records[0].nDestroyed, 1);
  EXPECT_EQ(h.m_Records[1].nDestroyed, 1);
}

TEST(Shutdown, DroppingTheLogicDeletesEveryDownloaderOnce) {
  LogicHarness h;
  h.Connect();
  h.m_pLogic.reset();
  EXPECT_EQ(h.m_Records[0].nDestroyed, 1);
  EXPECT_EQ(h.m_Events.m_nStops, 1);
}

// A connect runs on the downloader's worker, so a close during it closes at
// once; the downloader is deleted (its connect stopped) with the window.
TEST(Shutdown, CloseDuringAConnectClosesAtOnce) {
  LogicHarness h;
  h.m_Script.bManualConnectEnd = true;
  h.Arrive("pda0");
  h.Drain();
  EXPECT_EQ(h.Logic().OnClose(), TRUE);
  EXPECT_EQ(h.m_View.m_EndResults, (std::vector<int>{IDCANCEL}));
  EndWindow(h);
  EXPECT_EQ(h.m_Records[0].nDestroyed, 1);
  h.m_pLogic.reset();
  EXPECT_EQ(h.m_Records[0].nDestroyed, 1);
}

}  // namespace
}  // namespace tw::test
