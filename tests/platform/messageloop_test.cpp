// The headless UI loop: order, re-entrant pumping, quitting, deadlines and
// posts from other threads.
#include "platform/messageloop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace tw {
namespace {

TEST(MessageLoop, RunsInOrderAndPumpsReentrantly) {
  CMessageLoop loop;
  std::vector<int> order;
  loop.Post([&] {
    order.push_back(1);
    loop.Post([&] { order.push_back(3); });
    loop.PumpMessages();  // runs 2 and 3 inside task 1
    order.push_back(4);
  });
  loop.Post([&] { order.push_back(2); });
  loop.Post([&] { loop.Quit(7); });
  EXPECT_EQ(loop.Run(), 7);
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(MessageLoop, PumpRunsOnlyWhatWaitsNow) {
  CMessageLoop loop;
  int runs = 0;
  std::function<void()> again = [&] {
    ++runs;
    loop.Post(again);
  };
  loop.Post(again);
  loop.PumpMessages();
  EXPECT_EQ(runs, 1);
}

TEST(MessageLoop, QuitInsideNestedPumpEndsAfterTheTask) {
  CMessageLoop loop;
  bool finished = false;
  loop.Post([&] {
    loop.Post([&] { loop.Quit(1); });
    loop.PumpMessages();
    finished = true;
  });
  EXPECT_EQ(loop.Run(), 1);
  EXPECT_TRUE(finished);
  loop.Quit(5);  // the first request wins
  EXPECT_EQ(loop.Run(), 1);
}

TEST(MessageLoop, DeadlineEndsAnIdleLoop) {
  CMessageLoop loop;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
  EXPECT_EQ(loop.Run(deadline), std::nullopt);
  EXPECT_FALSE(loop.QuitRequested());
}

TEST(MessageLoop, PostsFromOtherThreadsWakeTheLoop) {
  CMessageLoop loop;
  int sum = 0;
  std::vector<std::jthread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&loop, &sum] {
      for (int i = 0; i < 100; ++i) {
        loop.Post([&sum] { ++sum; });
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  loop.Post([&] { loop.Quit(0); });
  EXPECT_EQ(loop.Run(), 0);
  EXPECT_EQ(sum, 400);
}

TEST(MessageLoop, PumpFromAnotherThreadDoesNothing) {
  CMessageLoop loop;
  int runs = 0;
  loop.Post([&] { ++runs; });
  std::jthread other([&] { loop.PumpMessages(); });
  other.join();
  EXPECT_EQ(runs, 0);
  loop.PumpMessages();
  EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace tw
