// tidewell-sim's command line: every switch lands in its field, and bad
// input is refused with a message.
#include "sim/cli/simoptions.h"

#include <gtest/gtest.h>

#include <functional>

namespace tw::sim::test {
namespace {

struct OptionCase {
  std::vector<std::string> args;  // after --device-dir d
  std::function<bool(const SimOptions&)> holds;
};

TEST(SimOptions, EachSwitchSetsItsField) {
  const std::vector<OptionCase> cases = {
      {{"--com", "12"}, [](const SimOptions& o) { return o.config.comPort == 12; }},
      {{"--location", "1-2.4"}, [](const SimOptions& o) { return o.config.location == "1-2.4"; }},
      {{"--com-after", "COM8@1-2"}, [](const SimOptions& o) { return o.comAfter == "COM8@1-2"; }},
      {{"--verify", "pkg"}, [](const SimOptions& o) { return o.verifyPackage == "pkg"; }},
      {{"--dump", "out"}, [](const SimOptions& o) { return o.dumpDir == "out"; }},
      {{"--timeout", "9000"}, [](const SimOptions& o) { return o.config.runTimeoutMs == 9000; }},
      {{"--requests", "3000,rest"},
       [](const SimOptions& o) {
         return o.config.osRequestSizes == std::vector<std::uint32_t>{3000, 0};
       }},
      {{"--regions", "2"}, [](const SimOptions& o) { return o.config.phoneRegions == 2 && o.regionsGiven; }},
      {{"--phone-pause", "10"}, [](const SimOptions& o) { return o.config.phoneModePauseMs == 10; }},
      {{"--answer-ok"}, [](const SimOptions& o) { return o.config.answerOk; }},
      {{"--eboot-handover"}, [](const SimOptions& o) { return !o.config.osImageFollowsEboot; }},
      {{"--wrong-hello"}, [](const SimOptions& o) { return o.config.faults.wrongHello; }},
      {{"--no-ack-eboot", "3"}, [](const SimOptions& o) { return o.config.faults.noAckEbootRecord == 3; }},
      {{"--no-ack-os", "4"}, [](const SimOptions& o) { return o.config.faults.noAckOsPacket == 4; }},
      {{"--busy", "2"}, [](const SimOptions& o) { return o.config.faults.busyReplies == 2; }},
      {{"--short-request", "1"}, [](const SimOptions& o) { return o.config.faults.shortRequest == 1; }},
      {{"--over-request", "2"}, [](const SimOptions& o) { return o.config.faults.overRequest == 2; }},
      {{"--nak-erase", "3"}, [](const SimOptions& o) { return o.config.faults.nakEraseRegion == 3; }},
      {{"--no-answer-block", "7"}, [](const SimOptions& o) { return o.config.faults.noAnswerBlock == 7; }},
      {{"--no-ack-jump", "2"}, [](const SimOptions& o) { return o.config.faults.noAckJumpRegion == 2; }},
      {{"--disconnect-pda", "5000000000"},
       [](const SimOptions& o) { return o.config.faults.disconnectPdaAfterByte == 5000000000ull; }},
      {{"--disconnect-phone", "99"},
       [](const SimOptions& o) { return o.config.faults.disconnectPhoneAfterByte == 99; }},
      {{"--delay", "25"}, [](const SimOptions& o) { return o.config.faults.replyDelayMs == 25; }},
      {{"--split", "42", "--split-gap", "2"},
       [](const SimOptions& o) {
         return o.config.faults.splitReplies && o.config.faults.splitSeed == 42 &&
                o.config.faults.splitGapMs == 2;
       }},
      {{"--answer-pieces", "3", "--answer-gap", "4"},
       [](const SimOptions& o) {
         return o.config.faults.answerPieces == 3 && o.config.faults.answerGapMs == 4;
       }},
      {{"--block-delay", "8"}, [](const SimOptions& o) { return o.config.faults.blockAnswerDelayMs == 8; }},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.args.front());
    std::vector<std::string> args = {"--device-dir", "d"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions(args, &options, &error)) << error;
    EXPECT_EQ(options.deviceDir, "d");
    EXPECT_TRUE(c.holds(options));
  }
}

TEST(SimOptions, BadInputIsRefusedWithAMessage) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"--com", "3"},
      {"--device-dir", "d", "--com", "0"},
      {"--device-dir", "d", "--com", "x"},
      {"--device-dir", "d", "--busy", "-1"},
      {"--device-dir", "d", "--busy"},
      {"--device-dir", "d", "--requests", "3000,,5"},
      {"--device-dir", "d", "--timeout", "99999999999"},
      {"--device-dir", "d", "--frobnicate"},
      // A location and an entry name are parts of one entry's name.
      {"--device-dir", "d", "--location", ""},
      {"--device-dir", "d", "--location", "1/2"},
      {"--device-dir", "d", "--location", "1-2 3"},
      {"--device-dir", "d", "--location", "1@2"},
      {"--device-dir", "d", "--com-after", ""},
      {"--device-dir", "d", "--com-after", "../COM8"},
  };
  for (const std::vector<std::string>& args : bad) {
    SimOptions options;
    std::string error;
    EXPECT_FALSE(ParseSimOptions(args, &options, &error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace tw::sim::test
