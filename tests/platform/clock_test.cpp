#include "platform/clock.h"

#include <gtest/gtest.h>

#include <stop_token>

namespace tw {
namespace {

TEST(RealClockTest, SleepCutShortByStopReportsFalse) {
  RealClock clock;
  std::stop_source stop;
  stop.request_stop();
  EXPECT_FALSE(clock.Sleep(60'000, stop.get_token()));
}

TEST(RealClockTest, SleepWithoutStopReportsTrue) {
  RealClock clock;
  std::stop_source stop;
  EXPECT_TRUE(clock.Sleep(1, stop.get_token()));
  EXPECT_TRUE(clock.Sleep(0));
}

TEST(VirtualClockTest, SleepsAreRecordedAndMoveTime) {
  VirtualClock clock;
  std::uint32_t start = clock.GetTickCount();
  EXPECT_TRUE(clock.Sleep(500));
  EXPECT_TRUE(clock.Sleep(800));
  EXPECT_EQ(clock.GetTickCount() - start, 1300u);
  EXPECT_EQ(clock.Sleeps(), (std::vector<std::uint32_t>{500, 800}));
}

}  // namespace
}  // namespace tw
