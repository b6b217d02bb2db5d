// Each fault switch does what it says, seen from a scripted host.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "pda/pdacommands.h"
#include "phonedown/cmsmpacket/msmresponse.h"
#include "tests/sim/scriptedrun.h"
#include "tests/sim/simrun.h"

namespace tw::sim::test {
namespace {

using Answers = std::vector<std::optional<std::uint8_t>>;

struct FaultCase {
  const char* fault;  // the name the summary lists it under
  std::function<void(SimFaults&)> set;
  std::function<void(const Observed&, const SimSummary&, const std::vector<std::uint32_t>& sleeps)> check;
};

// A run cut short by a fault may wait for a host that has given up.
constexpr int kCutRunEndMs = 2000;

bool NeitherReadyNorDone(std::uint8_t code) {
  return code != PDA_RSP_READY && code != PDA_RSP_OS_DONE;
}

const std::vector<FaultCase> kFaults = {
    {"wrongHello", [](SimFaults& f) { f.wrongHello = true; },
     [](const Observed& seen, const SimSummary&, auto&) {
       ASSERT_FALSE(seen.hello.empty());
       EXPECT_EQ(seen.hello[0], 0x00);
     }},
    {"noAckEbootRecord", [](SimFaults& f) { f.noAckEbootRecord = 2; },
     [](const Observed& seen, const SimSummary&, auto&) {
       EXPECT_EQ(seen.ebootAcks, (std::vector<bool>{true, false, true}));
     }},
    {"noAckOsPacket", [](SimFaults& f) { f.noAckOsPacket = 3; },
     [](const Observed& seen, const SimSummary&, auto&) {
       EXPECT_EQ(seen.osAcks, (std::vector<bool>{true, true, false, true, true}));
     }},
    {"busyReplies", [](SimFaults& f) { f.busyReplies = 2; },
     [](const Observed& seen, const SimSummary&, auto&) {
       ASSERT_EQ(seen.ebootEndReplies.size(), 3u);
       ASSERT_EQ(seen.osEndReplies.size(), 3u);
       for (int i = 0; i < 2; ++i) {
         EXPECT_TRUE(NeitherReadyNorDone(seen.ebootEndReplies[i]));
         EXPECT_TRUE(NeitherReadyNorDone(seen.osEndReplies[i]));
       }
       EXPECT_EQ(seen.ebootEndReplies[2], PDA_RSP_READY);
       EXPECT_EQ(seen.osEndReplies[2], PDA_RSP_OS_DONE);
     }},
    {"shortRequest", [](SimFaults& f) { f.shortRequest = 1; },
     [](const Observed& seen, const SimSummary& s, auto&) {
       ASSERT_GE(seen.requestReads.size(), 2u);
       EXPECT_LT(seen.requestReads[0], kReadHeaderSize);
       EXPECT_EQ(seen.requestReads[1], kReadHeaderSize) << "sent in full after the host's poll";
       EXPECT_EQ(seen.requests, (std::vector<std::uint32_t>{5000}));
       EXPECT_TRUE(s.violations.empty());
     }},
    {"overRequest", [](SimFaults& f) { f.overRequest = 1; },
     [](const Observed& seen, const SimSummary&, auto&) {
       EXPECT_EQ(seen.requests, (std::vector<std::uint32_t>{5000 + 3000}));
       EXPECT_EQ(seen.osEndReplies, (std::vector<std::uint8_t>{PDA_RSP_OS_DONE}));
     }},
    {"nakEraseRegion", [](SimFaults& f) { f.nakEraseRegion = 2; },
     [](const Observed& seen, const SimSummary&, auto&) {
       EXPECT_EQ(seen.eraseAnswers, (Answers{NAK_BAD_CRC, ACK}));
       EXPECT_EQ(seen.blockAnswers.size(), 2u);
     }},
    {"noAnswerBlock", [](SimFaults& f) { f.noAnswerBlock = 2; },
     [](const Observed& seen, const SimSummary&, auto&) {
       EXPECT_EQ(seen.blockAnswers, (std::vector<bool>{true, false}));
     }},
    {"noAckJumpRegion", [](SimFaults& f) { f.noAckJumpRegion = 3; },
     [](const Observed& seen, const SimSummary&, auto&) {
       EXPECT_EQ(seen.jumpAnswers, (Answers{ACK, ACK, std::nullopt, std::nullopt}));
       EXPECT_EQ(seen.blockAnswers, (std::vector<bool>{true, true, true}));
     }},
    {"disconnectPdaAfterByte", [](SimFaults& f) { f.disconnectPdaAfterByte = 12; },
     [](const Observed& seen, const SimSummary& s, auto&) {
       EXPECT_TRUE(seen.pdaGone);
       EXPECT_EQ(s.end, "disconnected");
       EXPECT_EQ(s.eboot.announced, 0u) << "nothing past byte 12 was taken";
     }},
    {"disconnectPhoneAfterByte", [](SimFaults& f) { f.disconnectPhoneAfterByte = 5; },
     [](const Observed& seen, const SimSummary& s, auto&) {
       EXPECT_TRUE(seen.phoneGone);
       EXPECT_EQ(s.end, "disconnected");
       EXPECT_TRUE(s.regions.empty());
     }},
    {"replyDelayMs", [](SimFaults& f) { f.replyDelayMs = 7; },
     [](const Observed& seen, const SimSummary& s, const std::vector<std::uint32_t>& sleeps) {
       EXPECT_GT(std::count(sleeps.begin(), sleeps.end(), 7u), 20);
       EXPECT_EQ(seen.blockAnswers.size(), 5u);
       EXPECT_TRUE(s.violations.empty()) << s.ToJson();
     }},
    {"splitReplies",
     [](SimFaults& f) {
       f.splitReplies = true;
       f.splitSeed = 5;
       f.splitGapMs = 3;
     },
     [](const Observed&, const SimSummary&, const std::vector<std::uint32_t>& sleeps) {
       // The 12-byte hello alone goes in at least two pieces.
       EXPECT_GT(std::count(sleeps.begin(), sleeps.end(), 3u), 0);
     }},
    {"answerPieces",
     [](SimFaults& f) {
       f.answerPieces = 4;
       f.answerGapMs = 3;
     },
     [](const Observed& seen, const SimSummary& s, const std::vector<std::uint32_t>& sleeps) {
       // 13 answers of the modem (2 opening jumps, 3 region jumps, the EFS
       // command, 2 erases, 5 blocks), each of 5 bytes in 4 pieces; the PDA
       // side's replies stay whole.
       EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 3u), 13 * 3);
       EXPECT_EQ(seen.jumpAnswers, (Answers{ACK, ACK, ACK}));
       EXPECT_EQ(seen.blockAnswers, std::vector<bool>(5, true));
       EXPECT_TRUE(s.violations.empty()) << s.ToJson();
     }},
    {"blockAnswerDelayMs", [](SimFaults& f) { f.blockAnswerDelayMs = 8; },
     [](const Observed& seen, const SimSummary&, const std::vector<std::uint32_t>& sleeps) {
       // Only the blocks' answers wait.
       EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 8u), 5);
       EXPECT_EQ(seen.blockAnswers, std::vector<bool>(5, true));
     }},
};

TEST(Faults, EachSwitchDoesWhatItSays) {
  for (const FaultCase& row : kFaults) {
    SCOPED_TRACE(row.fault);
    SimConfig config;
    row.set(config.faults);
    SimRun run(config);
    ASSERT_TRUE(run.handset.Start());
    Observed seen = PlayRun(run.channel.Provider(), SmallPlan());
    SimSummary summary = run.End(kCutRunEndMs);
    row.check(seen, summary, run.clock.Sleeps());
    bool listed = std::any_of(summary.faults.begin(), summary.faults.end(),
                              [&](const InjectedFault& f) { return f.name == row.fault; });
    EXPECT_TRUE(listed) << summary.ToJson();
  }
}

TEST(Faults, NoFaultMeansAFaultlessRun) {
  SimRun run(SimConfig{});
  ASSERT_TRUE(run.handset.Start());
  Observed seen = PlayRun(run.channel.Provider(), SmallPlan());
  SimSummary summary = run.End();
  EXPECT_EQ(seen.ebootAcks, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(seen.osAcks, std::vector<bool>(5, true));
  EXPECT_EQ(seen.handoverReply, PDA_RSP_READY);
  EXPECT_EQ(seen.blockAnswers, std::vector<bool>(5, true));
  EXPECT_EQ(summary.end, "phone-done");
  EXPECT_TRUE(summary.faults.empty());
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
}

}  // namespace
}  // namespace tw::sim::test
