// Slot 0 through its states: every row of the state table, one event each,
// and the edge cases around them.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/app/logicharness.h"

namespace tw::test {
namespace {

struct Slot0 {
  int nIdle;
  int nPhoneStage;
  int nComPort;
  int nDownStart;
  BOOL bStartEnabled;
};

struct Row {
  const char* name;
  std::function<void(LogicHarness&)> reach;  // brings slot 0 into the row's state
  std::function<void(LogicHarness&)> event;
  Slot0 after;
  std::vector<std::string> newCalls;  // downloader calls the event caused
};

void Waiting(LogicHarness&) {}
void Connecting(LogicHarness& h) {
  h.Arrive("pda0");
}  // WM_DEVICE_PDA posted, not yet handled
void Connected(LogicHarness& h) {
  h.SetImages(1, 1, 1);
  h.Connect();
}
void PdaDownload(LogicHarness& h) {
  Connected(h);
  h.PressStart();
}
void WaitingForComPort(LogicHarness& h) {
  PdaDownload(h);
  h.Logic().m_bPhoneStage[0] = 1;  // the OS-image stage handed over
}
void PhoneDownload(LogicHarness& h) {
  WaitingForComPort(h);
  h.Arrive("COM7");
}
void Run(LogicHarness& h) {
  h.Drain();
}

const Row kRows[] = {
    {"WaitingAnyArrivalConnects",
     Waiting,
     [](LogicHarness& h) {
       h.Arrive("pda0");
       Run(h);
     },
     {0, 0, 0, 0, TRUE},
     {"ConnectPda 0"}},
    {"ConnectingConnectFails",
     Connecting,
     [](LogicHarness& h) {
       h.m_Script.bConnectPda = FALSE;
       Run(h);
     },
     {1, 0, 0, 0, FALSE},
     {"ConnectPda 0"}},
    {"ConnectingConnectSucceeds", Connecting, Run, {0, 0, 0, 0, TRUE}, {"ConnectPda 0"}},
    {"ConnectedStartWithPdaImage",
     Connected,
     [](LogicHarness& h) { h.PressStart(); },
     {0, 0, 0, 1, FALSE},
     {"StartDownload 0"}},
    {"ConnectedStartPhoneImageOnly",
     Connected,
     [](LogicHarness& h) {
       h.SetImages(0, 0, 1);
       h.PressStart();
     },
     {0, 1, 0, 1, FALSE},
     {"StartPhoneDownload 0"}},
    {"PdaDownloadRunEnds",
     PdaDownload,
     [](LogicHarness& h) {
       h.m_pLast->EndRun(0);
       Run(h);
     },
     {1, 0, 0, 0, FALSE},
     {}},
    {"PdaDownloadHandsOver",
     PdaDownload,
     [](LogicHarness& h) {
       h.Logic().m_bPhoneStage[0] = 1;
       h.Arrive("pda0");  // not a port: the slot does not take it
       Run(h);
     },
     {0, 1, 0, 1, FALSE},
     {}},
    {"WaitingForComPortUsbRemoved",
     WaitingForComPort,
     [](LogicHarness& h) {
       h.Remove("pda0");
       Run(h);
     },
     {1, 1, 0, 1, FALSE},
     {}},
    {"WaitingForComPortCom7",
     WaitingForComPort,
     [](LogicHarness& h) {
       h.Arrive("COM7");
       Run(h);
     },
     {0, 1, 7, 1, FALSE},
     {"SetPort 7", "ConnectPhone 7 0"}},
    {"PhoneDownloadConnectFails",
     PhoneDownload,
     [](LogicHarness& h) {
       h.m_Script.bConnectPhone = FALSE;
       Run(h);
     },
     {1, 1, 7, 1, FALSE},
     {"SetPort 7", "ConnectPhone 7 0"}},
    {"PhoneDownloadRunEnds",
     PhoneDownload,
     [](LogicHarness& h) {
       Run(h);
       h.m_pLast->EndRun(0);
       Run(h);
     },
     {1, 0, 7, 0, FALSE},
     {"SetPort 7", "ConnectPhone 7 0"}},
    {"AnyRecordedComPortRemoved",
     PhoneDownload,
     [](LogicHarness& h) {
       Run(h);
       h.Remove("COM7");
       Run(h);
     },
     {1, 1, 0, 1, FALSE},
     {"SetPort 7", "ConnectPhone 7 0"}},
};

class SlotTable : public testing::TestWithParam<Row> {};

TEST_P(SlotTable, EventMovesSlot0) {
  const Row& row = GetParam();
  LogicHarness h;
  row.reach(h);
  std::size_t before = h.Calls().size();
  row.event(h);

  CTidewellDlgLogic& logic = h.Logic();
  EXPECT_EQ(logic.m_bSlotIdle[0], row.after.nIdle);
  EXPECT_EQ(logic.m_bPhoneStage[0], row.after.nPhoneStage);
  EXPECT_EQ(logic.m_nComPort[0], row.after.nComPort);
  EXPECT_EQ(logic.m_bDownStart[0], row.after.nDownStart);
  EXPECT_EQ(h.m_View.m_bStartEnabled, row.after.bStartEnabled);
  std::vector<std::string> calls = h.Calls();
  calls.erase(calls.begin(), calls.begin() + static_cast<long>(before));
  EXPECT_EQ(calls, row.newCalls);
  // Slots 1 to 7 never take part.
  for (int i = 1; i < kSlotCount; ++i) {
    EXPECT_EQ(logic.m_bSlotIdle[i], 0);
    EXPECT_EQ(logic.m_nComPort[i], -1);
    EXPECT_FALSE(logic.m_pDownLoad[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, SlotTable, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& info) {
                           return std::string(info.param.name);
                         });

TEST(SlotEdges, TwoQuickArrivalsConnectOnce) {
  LogicHarness h;
  h.Arrive("pda0");
  h.Arrive("pda1");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPda"), 1);
  EXPECT_EQ(h.m_Records.size(), 1u);
}

TEST(SlotEdges, UnrelatedDeviceTakesSlotThenFreesIt) {
  LogicHarness h;
  h.m_Script.bConnectPda = FALSE;  // it never answers the hello
  h.Arrive("some-mouse");
  h.Drain();
  EXPECT_EQ(h.Logic().m_bSlotIdle[0], 1);
  EXPECT_FALSE(h.m_View.m_bStartEnabled);
  // The handset that comes next gets the slot and the same downloader.
  h.m_Script.bConnectPda = TRUE;
  h.Connect();
  EXPECT_TRUE(h.m_View.m_bStartEnabled);
  EXPECT_EQ(h.CountCalls("ConnectPda"), 2);
  EXPECT_EQ(h.m_Records.size(), 1u);
  EXPECT_EQ(h.Logic().m_nOpenDevice, 1);
}

TEST(SlotEdges, PortNamesInPhoneStage) {
  struct Case {
    const char* name;
    int nComPort;  // recorded afterwards; 0 when passed over
    int nConnects;
  };
  const Case cases[] = {{"COM12", 12, 1}, {"LPT1", 0, 0}, {"COM3", 3, 1}, {"COMX", 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogicHarness h;
    WaitingForComPort(h);
    h.Arrive(c.name);
    h.Drain();
    EXPECT_EQ(h.Logic().m_nComPort[0], c.nComPort);
    EXPECT_EQ(h.CountCalls("ConnectPhone"), c.nConnects);
  }
}

TEST(PortNumber, FromDeviceNames) {
  struct Case {
    const char* name;
    bool bPort;
    int nPort;
  };
  const Case cases[] = {
      {"COM5", true, 5},  {"COM12", true, 12}, {"COMM7", true, 7},  {"COM", true, 0},
      {"LPT1", false, 0}, {"com5", false, 0},  {"XCOM5", false, 0}, {"COM99999999999", true, 2147483647}};
  for (const Case& c : cases) {
    int nPort = -5;
    EXPECT_EQ(PortNumberFromName(c.name, &nPort), c.bPort) << c.name;
    if (c.bPort) {
      EXPECT_EQ(nPort, c.nPort) << c.name;
    }
  }
}

TEST(SlotEdges, ArrivalDuringDownloadIgnoredButComPortTaken) {
  LogicHarness h;
  PdaDownload(h);
  h.Arrive("pda1");
  h.Arrive("COM4");  // no phone stage yet: not taken either
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPda"), 1);
  EXPECT_EQ(h.CountCalls("ConnectPhone"), 0);
  h.Logic().m_bPhoneStage[0] = 1;
  h.Arrive("COM4");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPhone 4 0"), 1);
}

TEST(SlotEdges, RundnloadStopsEveryArrival) {
  LogicHarness h;
  WaitingForComPort(h);
  h.Logic().m_bRundnload[0] = 1;
  h.Arrive("COM7");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPhone"), 0);
  // The end of the run clears it.
  h.m_pLast->EndRun(0);
  h.Drain();
  EXPECT_EQ(h.Logic().m_bRundnload[0], 0);
  h.Connect();
  EXPECT_EQ(h.CountCalls("ConnectPda"), 2);
}

TEST(SlotEdges, ComPortWithOpenSerialPortPostsNothing) {
  LogicHarness h;
  WaitingForComPort(h);
  h.m_Script.bPhonePortOpen = TRUE;
  h.Arrive("COM7");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPhone"), 0);
  EXPECT_EQ(h.Logic().m_nComPort[0], 7);
}

TEST(SlotEdges, StartWithComPortRecordedOnlyDisables) {
  LogicHarness h;
  PhoneDownload(h);
  h.Drain();
  h.m_View.m_bStartEnabled = TRUE;
  h.PressStart();
  EXPECT_FALSE(h.m_View.m_bStartEnabled);
  EXPECT_EQ(h.CountCalls("Start"), 1);  // only the first Start's StartDownload
}

TEST(StartChecks, WhichStageStartsAndWhatStartAnswers) {
  struct Case {
    const char* name;
    int eboot, pda, phone, loaded;
    const char* call;     // downloader call made, or "" for none
    const char* message;  // message box shown, or ""
    BOOL bStartAfter;
  };
  const Case cases[] = {
      {"PhoneAndPdaStartsPda", 0, 1, 1, 1, "StartDownload 0", "", FALSE},
      {"EbootOnly", 1, 0, 0, 1, "StartDownload 0", "", FALSE},
      {"PhoneOnly", 0, 0, 1, 1, "StartPhoneDownload 0", "", FALSE},
      {"NoImage", 0, 0, 0, 0, "", "Select an image to download", TRUE},
      {"IncompleteSet", 1, 0, 0, 0, "", "Not Open File", FALSE},
      {"IncompletePhoneOnly", 0, 0, 1, 0, "", "Not Open File", FALSE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogicHarness h;
    h.Connect();
    h.SetImages(c.eboot, c.pda, c.phone, c.loaded);
    h.PressStart();
    std::string call = h.CountCalls("Start") == 1 ? h.Calls().back() : "";
    EXPECT_EQ(call, c.call);
    std::string message = h.m_View.m_MessageBoxes.empty() ? "" : h.m_View.m_MessageBoxes.back();
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(h.m_View.m_bStartEnabled, c.bStartAfter);
  }
}

TEST(StartChecks, StartBeforeAnyConnectStartsNothing) {
  LogicHarness h;
  h.SetImages(1, 1, 1);
  h.PressStart();
  EXPECT_TRUE(h.Calls().empty());
  EXPECT_TRUE(h.m_View.m_MessageBoxes.empty());
}

TEST(DownloadDone, SlotsOutsideTheTableAreIgnored) {
  for (WPARAM slot : {WPARAM{8}, WPARAM{100}, static_cast<WPARAM>(-1)}) {
    LogicHarness h;
    PdaDownload(h);
    h.Logic().PostMessage(WM_DOWNLOAD_DONE, slot, 0);
    h.Drain();
    EXPECT_EQ(h.Logic().m_bDownStart[0], 1);
    EXPECT_EQ(h.Logic().m_bSlotIdle[0], 0);
    EXPECT_TRUE(h.m_View.m_DoneSlots.empty());
  }
}

TEST(DownloadDone, SecondMessageChangesNothing) {
  LogicHarness h;
  PhoneDownload(h);
  h.Drain();
  h.m_pLast->EndRun(0);
  h.m_pLast->EndRun(0);
  h.Drain();
  EXPECT_EQ(h.Logic().m_bSlotIdle[0], 1);
  EXPECT_EQ(h.Logic().m_bDownStart[0], 0);
  EXPECT_EQ(h.m_View.m_DoneSlots, (std::vector<int>{0, 0}));
}

// The end event of a run reaches the view with its outcome, reason and
// skipped regions; WM_DOWNLOAD_DONE carries the outcome in lParam.
TEST(DownloadDone, TheEndEventReachesTheViewWhole) {
  LogicHarness h;
  PhoneDownload(h);
  h.Drain();
  h.Logic().PostRunEnd(RunEnd{0, RunOutcome::Failed, "why", {"CODE"}});
  h.Drain();
  PhoneDownload(h);
  h.Drain();
  h.Logic().PostMessage(WM_DOWNLOAD_DONE, 0, static_cast<LPARAM>(RunOutcome::Stopped));
  h.Drain();
  ASSERT_EQ(h.m_View.m_Ends.size(), 2u);
  EXPECT_EQ(h.m_View.m_Ends[0].outcome, RunOutcome::Failed);
  EXPECT_EQ(h.m_View.m_Ends[0].reason, "why");
  EXPECT_EQ(h.m_View.m_Ends[0].skippedRegions, (std::vector<std::string>{"CODE"}));
  EXPECT_EQ(h.m_View.m_Ends[1].outcome, RunOutcome::Stopped);
  EXPECT_EQ(h.Logic().m_bSlotIdle[0], 1);
}

// A connect runs on the downloader's worker: the UI thread goes on at once.
// A removal frees slot 0 while the handshake runs and a new arrival comes: a
// second connect is begun on the same downloader (which runs it after the
// first), and only its result decides the slot.
TEST(ConnectRunning, ArrivalDuringAConnectIsServedAfterIt) {
  LogicHarness h;
  h.m_Script.bManualConnectEnd = true;
  h.m_Script.bConnectPda = FALSE;
  h.Arrive("pda0");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPda"), 1);
  EXPECT_EQ(h.Logic().m_bSlotIdle[0], 0);
  h.Remove("pda0");
  h.m_Script.bConnectPda = TRUE;
  h.Arrive("pda0");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPda"), 2);
  EXPECT_EQ(h.m_Records.size(), 1u);

  h.m_pLast->FinishConnect();  // the first one failed: the second decides
  h.Drain();
  EXPECT_EQ(h.Logic().m_bSlotIdle[0], 0);
  EXPECT_FALSE(h.m_View.m_bStartEnabled);
  h.m_pLast->FinishConnect();
  h.Drain();
  EXPECT_TRUE(h.m_View.m_bStartEnabled);
  EXPECT_EQ(h.Logic().m_bSlotIdle[0], 0);
  EXPECT_TRUE(h.m_Clock.Sleeps().empty());  // no polling sleep on the UI thread
}

// A WM_CONNECT_DONE for a slot with no connect running, or outside the
// table, changes nothing.
TEST(ConnectRunning, StrayConnectEndsAreIgnored) {
  LogicHarness h;
  for (WPARAM slot : {WPARAM{0}, WPARAM{8}, static_cast<WPARAM>(-1)}) {
    h.Logic().PostMessage(WM_CONNECT_DONE, slot, static_cast<LPARAM>(ConnectResult::PdaConnected));
  }
  h.Drain();
  EXPECT_FALSE(h.m_View.m_bStartEnabled);
  EXPECT_EQ(h.Logic().m_nOpenDevice, 0);
  EXPECT_EQ(h.Logic().m_bSlotIdle[0], 1);
}

TEST(Registration, FailureShowsItsMessageAndDetectsNothing) {
  CMessageLoop loop;
  VirtualClock clock;
  NoDevices devices;
  FakeEventSource events;
  events.m_bStartSucceeds = false;
  RecordingView view;
  CTidewellDlgLogic logic(LogicServices(view, loop, clock, devices, events));
  logic.OnInitDialog();
  ASSERT_EQ(view.m_MessageBoxes.size(), 1u);
  EXPECT_EQ(view.m_MessageBoxes[0].rfind("HUB RegisterDeviceNotification failed: ", 0), 0u);
  EXPECT_EQ(view.m_MessageBoxes[0].back(), '\n');
  EXPECT_EQ(logic.OnClose(), TRUE);
  EXPECT_EQ(events.m_nStops, 0);  // nothing to release
}

TEST(InitDialog, SlotsProgressAndFlags) {
  LogicHarness h;
  CTidewellDlgLogic& logic = h.Logic();
  EXPECT_FALSE(h.m_View.m_bStartEnabled);
  EXPECT_EQ(logic.m_bSlotIdle[0], 1);
  EXPECT_EQ(logic.m_nComPort[0], 0);
  EXPECT_EQ(logic.m_pProgress[0], static_cast<IProgressSink*>(&h.m_View));
  for (int i = 1; i < kSlotCount; ++i) {
    EXPECT_EQ(logic.m_pProgress[i], nullptr);
  }
  EXPECT_EQ(h.m_Events.m_nStarts, 1);
  // No package at the path: nothing loaded, nothing flagged.
  EXPECT_EQ(logic.m_Images.m_bImageLoaded, 0);
  EXPECT_EQ(logic.m_bDownEboot + logic.m_bDownPda + logic.m_bDownPhone, 0);
}

}  // namespace
}  // namespace tw::test
