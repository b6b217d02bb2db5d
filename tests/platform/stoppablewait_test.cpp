// The receive wait that observes a stop: its time-out runs on the clock it
// is given, so a virtual-time test brings the end on by moving the clock.
#include "platform/stoppablewait.h"

#include <gtest/gtest.h>

#include <numeric>

#include "tests/platform/fakedevice.h"

namespace tw::test {
namespace {

class StoppableWaitTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeDeviceState> state = std::make_shared<FakeDeviceState>();
  FakeDevice device{state};
  VirtualClock clock;
  std::stop_source stop;
};

TEST_F(StoppableWaitTest, OnAClockNobodyMovesTheWaitsAddUpToTheTimeOut) {
  EXPECT_EQ(WaitReceiveOrStop(device, 100, stop.get_token(), clock), 0);
  EXPECT_EQ(std::accumulate(state->waits.begin(), state->waits.end(), 0), 100);
  EXPECT_GT(state->waits.size(), 1u) << "waited in slices, looking at the stop between them";
}

TEST_F(StoppableWaitTest, MovingTheClockPastTheDeadlineEndsTheWait) {
  state->onWait = [this](int) { clock.Advance(60'000); };
  EXPECT_EQ(WaitReceiveOrStop(device, 60'000, stop.get_token(), clock), 0);
  EXPECT_EQ(state->waits.size(), 2u) << "one slice, then the clock says the time is up";
  state->waits.clear();
  EXPECT_EQ(WaitReceiveOrStop(device, 60'000, {}, clock), 0);
  EXPECT_EQ(state->waits.size(), 1u) << "without a stop token: one wait";
}

TEST_F(StoppableWaitTest, DataStopAndAVanishedDeviceEndItAtOnce) {
  state->rx = {1};
  EXPECT_EQ(WaitReceiveOrStop(device, 60'000, stop.get_token(), clock), 1);
  state->rx.clear();
  stop.request_stop();
  EXPECT_EQ(WaitReceiveOrStop(device, 60'000, stop.get_token(), clock), 0);
  state->gone = true;
  EXPECT_EQ(WaitReceiveOrStop(device, 60'000, {}, clock), -1);
}

}  // namespace
}  // namespace tw::test
