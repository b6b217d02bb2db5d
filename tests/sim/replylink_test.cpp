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

// The modem's answers in even pieces, the longer ones first, one gap between
// two pieces; never more pieces than bytes. The PDA side's replies stay whole.
TEST(ReplyLink, ModemAnswersGoInEvenPiecesAGapApart) {
  const std::vector<std::uint8_t> answer = {0x7E, 0x02, 0x6A, 0xD3, 0x7E};
  struct Case {
    ReplyLink::Side side;
    std::uint32_t pieces;
    std::vector<std::size_t> sizes;
  };
  const Case cases[] = {
      {ReplyLink::Side::Modem, 2, {3, 2}},
      {ReplyLink::Side::Modem, 4, {2, 1, 1, 1}},
      {ReplyLink::Side::Modem, 9, {1, 1, 1, 1, 1}},
      {ReplyLink::Side::Modem, 1, {5}},
      {ReplyLink::Side::Pda, 4, {5}},
  };
  for (const Case& c : cases) {
    RecordingPort port;
    VirtualClock clock;
    SimRecorder recorder;
    SimFaults faults;
    faults.answerPieces = c.pieces;
    faults.answerGapMs = 4;
    ReplyLink link(port, clock, faults, recorder, {}, c.side);
    EXPECT_TRUE(link.Send(answer));
    std::vector<std::size_t> sizes;
    std::vector<std::uint8_t> joined;
    for (const auto& piece : port.pieces) {
      sizes.push_back(piece.size());
      joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(sizes, c.sizes) << c.pieces << " pieces";
    EXPECT_EQ(joined, answer);
    EXPECT_EQ(clock.Sleeps(), std::vector<std::uint32_t>(c.sizes.size() - 1, 4));
  }
}

TEST(ReplyLink, AHoldAddsToTheReplyDelay) {
  RecordingPort port;
  VirtualClock clock;
  SimRecorder recorder;
  SimFaults faults;
  faults.replyDelayMs = 2;
  ReplyLink link(port, clock, faults, recorder, {}, ReplyLink::Side::Modem);
  const std::uint8_t answer[5] = {0x7E, 0x02, 0x6A, 0xD3, 0x7E};
  link.Send(answer, 8);
  link.Send(answer);
  EXPECT_EQ(clock.Sleeps(), (std::vector<std::uint32_t>{10, 2}));
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
