// Reply faults: delays through the clock, replies cut into seeded pieces.
#include "sim/replylink.h"

#include <gtest/gtest.h>

#include <numeric>

namespace tw::sim::test {
namespace {

// Records every piece the link sends.
class RecordingPort final : public ISimPort {
 public:
  bool WaitOpened(int) override { return true; }
  long Receive(std::uint8_t*, std::size_t, int) override { return 0; }
  bool Send(const std::uint8_t* src, std::size_t n) override {
    pieces.emplace_back(src, src + n);
    return true;
  }
  bool WaitDrained(int) override { return true; }
  std::vector<std::vector<std::uint8_t>> pieces;
};

std::vector<std::vector<std::uint8_t>> SendSplit(std::uint32_t seed, const std::vector<std::uint8_t>& reply) {
  RecordingPort port;
  VirtualClock clock;
  SimRecorder recorder;
  SimFaults faults;
  faults.splitReplies = true;
  faults.splitSeed = seed;
  ReplyLink link(port, clock, faults, recorder, {});
  EXPECT_TRUE(link.Send(reply));
  return port.pieces;
}

TEST(ReplyLink, SplitRepliesArriveWholeInSeededPieces) {
  std::vector<std::uint8_t> reply(16);
  std::iota(reply.begin(), reply.end(), 1);
  auto pieces = SendSplit(9, reply);
  EXPECT_GT(pieces.size(), 1u);
  std::vector<std::uint8_t> joined;
  for (const auto& piece : pieces) {
    EXPECT_FALSE(piece.empty());
    joined.insert(joined.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(joined, reply);
  EXPECT_EQ(SendSplit(9, reply), pieces) << "the same seed cuts the same way";
}

TEST(ReplyLink, DelayGoesThroughTheClockOncePerReply) {
  RecordingPort port;
  VirtualClock clock;
  SimRecorder recorder;
  SimFaults faults;
  faults.replyDelayMs = 25;
  ReplyLink link(port, clock, faults, recorder, {});
  const std::uint8_t reply[4] = {6, 0, 0, 0};
  link.Send(reply);
  link.Send(reply);
  EXPECT_EQ(clock.Sleeps(), (std::vector<std::uint32_t>{25, 25}));
  EXPECT_EQ(port.pieces.size(), 2u);
  ASSERT_EQ(recorder.Snapshot().faults.size(), 1u);
}

}  // namespace
}  // namespace tw::sim::test
