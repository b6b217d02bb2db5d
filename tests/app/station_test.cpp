// Several armed slots: which slot a device event goes to, COM ports paired
// with their handsets by location, and handsets that wait for a free slot.
#include <gtest/gtest.h>

#include "tests/app/logicharness.h"

namespace tw::test {
namespace {

using Action = DeviceEvent::Action;
using Kind = DeviceEvent::Kind;

// Slots 0 and 1 connected (handsets at 1-1 and 1-2), started, and sent into
// phone mode: both wait for their COM port.
void TwoSlotsInThePhoneStage(LogicHarness& h, bool bLocated) {
  if (bLocated) h.m_Script.locations = {{0, "1-1"}, {1, "1-2"}};
  h.SetImages(1, 1, 1);
  h.Event(Action::Arrival, Kind::Other, "/dev/x/pda@1-1", bLocated ? "1-1" : "");
  h.Event(Action::Arrival, Kind::Other, "/dev/x/pda@1-2", bLocated ? "1-2" : "");
  h.Drain();
  ASSERT_EQ(h.CountCalls("StartDownload"), 2);
  h.Logic().m_bPhoneStage[0] = 1;
  h.Logic().m_bPhoneStage[1] = 1;
}

TEST(StationSlots, EachComPortGoesToTheSlotWithItsLocation) {
  LogicHarness h(4, true);
  TwoSlotsInThePhoneStage(h, true);
  // The ports arrive in the other order than their handsets did.
  h.Event(Action::Arrival, Kind::Port, "COM9", "1-2");
  h.Drain();
  h.Event(Action::Arrival, Kind::Port, "COM8", "1-1");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPhone 9 1"), 1);
  EXPECT_EQ(h.CountCalls("ConnectPhone 8 0"), 1);
  EXPECT_TRUE(h.m_View.m_Notes.empty());
}

TEST(StationSlots, APortWhoseOwnerIsNotKnownIsTakenByNone) {
  const struct {
    const char* name;
    bool bLocatedSlots;
    const char* portLocation;
    const char* note;  // part of the station's line
  } cases[] = {
      {"no locations", false, "", "2 handsets wait for their COM port"},
      {"the port's location is no slot's", true, "3-3", "2 handsets wait for their COM port"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogicHarness h(2, true);
    TwoSlotsInThePhoneStage(h, c.bLocatedSlots);
    h.Event(Action::Arrival, Kind::Port, "COM8", c.portLocation);
    h.Drain();
    EXPECT_EQ(h.CountCalls("ConnectPhone"), 0);
    ASSERT_EQ(h.m_View.m_Notes.size(), 1u);
    EXPECT_NE(h.m_View.m_Notes[0].find("COM8"), std::string::npos) << h.m_View.m_Notes[0];
    EXPECT_NE(h.m_View.m_Notes[0].find(c.note), std::string::npos) << h.m_View.m_Notes[0];
  }
}

TEST(StationSlots, OneSlotWaitingTakesAPortWithoutLocation) {
  LogicHarness h(2, true);
  h.m_Script.locations = {{0, "1-1"}};
  h.SetImages(1, 1, 1);
  h.Event(Action::Arrival, Kind::Other, "/dev/x/pda@1-1", "1-1");
  h.Drain();
  h.Logic().m_bPhoneStage[0] = 1;
  h.Event(Action::Arrival, Kind::Port, "COM8");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPhone 8 0"), 1);
  // A port somewhere else is another handset's, even with one slot waiting.
  LogicHarness other(2, true);
  other.m_Script.locations = {{0, "1-1"}};
  other.SetImages(1, 1, 1);
  other.Event(Action::Arrival, Kind::Other, "/dev/x/pda@1-1", "1-1");
  other.Drain();
  other.Logic().m_bPhoneStage[0] = 1;
  other.Event(Action::Arrival, Kind::Port, "COM9", "2-4");
  other.Drain();
  EXPECT_EQ(other.CountCalls("ConnectPhone"), 0);
  ASSERT_EQ(other.m_View.m_Notes.size(), 1u);
  EXPECT_NE(other.m_View.m_Notes[0].find("at 1-1"), std::string::npos) << other.m_View.m_Notes[0];
}

// One slot's run does not hold back the others, and with several slots a
// COM port never arms an idle slot.
TEST(StationSlots, ASlotThatRunsPassesArrivalsToTheNextAndPortsArmNoSlot) {
  LogicHarness h(2, true);
  h.SetImages(1, 1, 0);
  h.Arrive("pda0");
  h.Drain();
  h.Logic().m_bRundnload[0] = 1;
  h.Arrive("COM7");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPda"), 1);
  h.Arrive("pda1");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPda 1"), 1);
  EXPECT_EQ(h.CountCalls("StartDownload 1"), 1);
}

TEST(StationSlots, AHandsetThatFindsNoFreeSlotWaitsAndIsServedInArrivalOrder) {
  LogicHarness h(2, true);
  h.SetImages(1, 1, 0);
  for (const char* name : {"pda@1-1", "pda@1-2", "pda@1-3", "pda@1-4"}) {
    h.Event(Action::Arrival, Kind::Other, name, std::string(name).substr(4));
  }
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPda"), 2);
  ASSERT_EQ(h.m_View.m_Notes.size(), 2u);
  EXPECT_EQ(h.m_View.m_Notes[0], "The handset at 1-3 waits for a free slot.");

  // Slot 1 ends its run: the first waiting handset takes it.
  h.m_pLast->EndRun(1);
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPda 1"), 2);
  EXPECT_EQ(h.m_View.m_Notes.back(), "Slot 1 takes the waiting handset at 1-3.");
  // Its connect opens that handset's interface first, not the first free one.
  EXPECT_EQ(h.CountCalls("PreferInterface pda@1-3"), 1);
  // The other waiting handset is unplugged: nobody serves it any more.
  h.Event(Action::Removal, Kind::Other, "pda@1-4", "1-4");
  h.Drain();
  h.m_pLast->EndRun(0);
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPda"), 3);
}

TEST(StationSlots, WithoutAutoStartStartStartsEveryConnectedSlot) {
  LogicHarness h(3, false);
  h.SetImages(1, 1, 0);
  h.Arrive("pda0");
  h.Arrive("pda1");
  h.Drain();
  EXPECT_TRUE(h.m_View.m_bStartEnabled);
  EXPECT_EQ(h.CountCalls("StartDownload"), 0) << "Start waits for the button";
  h.PressStart();
  EXPECT_EQ(h.CountCalls("StartDownload 0"), 1);
  EXPECT_EQ(h.CountCalls("StartDownload 1"), 1);
  // A handset that connects later is started by the next press.
  h.Arrive("pda2");
  h.Drain();
  h.PressStart();
  EXPECT_EQ(h.CountCalls("StartDownload"), 3);
}

TEST(StationSlots, WithoutAutoStartAnArrivalFindingNoSlotIsDropped) {
  LogicHarness h(1, false);
  h.SetImages(1, 1, 0);
  h.Arrive("pda0");
  h.Drain();
  h.Arrive("pda1");
  h.Drain();
  EXPECT_EQ(h.CountCalls("ConnectPda"), 1);
  EXPECT_TRUE(h.m_View.m_Notes.empty());
  EXPECT_EQ(h.CountCalls("StartDownload"), 0) << "Start waits for the button";
}

}  // namespace
}  // namespace tw::test
