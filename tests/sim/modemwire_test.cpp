// The modem download monitor against the host's documented wire sequence.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "download/phoneparams.h"
#include "pda/pdacommands.h"
#include "phonedown/cmsmpacket/msmresponse.h"
#include "phonedown/cmsmpacket/pkt.h"
#include "tests/sim/scriptedhost.h"
#include "tests/sim/scriptedrun.h"
#include "tests/sim/simrun.h"

namespace tw::sim::test {
namespace {

// A phone-only run up to the open COM port.
void OpenModem(SimRun& run, ScriptedHost& modem) {
  ASSERT_TRUE(run.handset.Start());
  ScriptedHost host(run.channel.Provider());
  ASSERT_TRUE(EnterPhoneMode(host, modem));
}

Bytes Block(const Bytes& image, std::size_t from) {
  Bytes block(kDataBlockSize, 0);
  for (std::size_t i = 0; i < kDataBlockSize && from + i < image.size(); ++i) {
    block[i] = image[from + i];
  }
  return block;
}

// The COM port waits for its gate after the phone pause, and a stop ends that wait.
TEST(ModemWire, TheComPortArrivesOnlyOnceItsGateOpens) {
  for (bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stopped at the gate" : "gate opened");
    SimRun run(SimConfig{});
    std::atomic<bool> open{false};
    std::atomic<int> asked{0};
    run.handset.SetComGate([&] { return ++asked, open.load(); });
    ASSERT_TRUE(run.handset.Start());
    ScriptedHost host(run.channel.Provider());
    ASSERT_TRUE(ConnectPda(host));
    ASSERT_TRUE(host.Send(Command(PDA_CMD_PHONE_MODE)));
    host.ReadUpTo(kPdaReplySize);
    for (int i = 0; i < 2500 && asked.load() == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_GT(asked.load(), 0) << "the handset reached the gate";
    ScriptedHost modem(run.channel.Provider());
    EXPECT_FALSE(modem.OpenCom(7, 100)) << "no port while the gate is closed";
    EXPECT_GT(asked.load(), 1) << "the gate is asked again";
    if (stop) {
      run.handset.Stop();
      EXPECT_EQ(run.handset.Summary().end, "stopped");
      EXPECT_FALSE(modem.OpenCom(7, 50));
    } else {
      open = true;
      EXPECT_TRUE(modem.OpenCom(7));
    }
  }
}

TEST(ModemWire, FullRegionSetAsTheHostSendsIt) {
  SimConfig config;
  config.phoneRegions = 7;
  SimRun run(config);
  Bytes image = Pattern(0x380000 + 5000, 21);
  SimImages expected;
  expected.phone = image;
  run.handset.SetExpected(expected);
  ScriptedHost modem(run.channel.Provider());
  OpenModem(run, modem);

  // Two opening jumps: answered, though the host reads the answers only later.
  ASSERT_TRUE(modem.Send(JumpFrame()));
  ASSERT_TRUE(modem.Send(JumpFrame()));
  EXPECT_EQ(modem.ReadAnswer(), ACK);
  EXPECT_EQ(modem.ReadAnswer(), ACK);
  std::size_t blocks = 0;
  for (const RegionRecord& region : MakePhoneParams(1).regions) {
    ASSERT_TRUE(modem.Send(JumpFrame()));
    EXPECT_EQ(modem.ReadAnswer(), ACK) << "jump of region at " << region.dwStart;
    std::uint32_t length = GetRegionWriteLength(region, static_cast<DWORD>(image.size()));
    if (region.dwAreaType == AREA_EFS) {
      continue;
    }
    ASSERT_TRUE(modem.Send(EraseFrame(region.dwStart, length)));
    EXPECT_EQ(modem.ReadAnswer(), ACK) << "erase at " << region.dwStart;
    for (std::uint32_t i = 0; i < GetPhoneBlockCount(length); ++i, ++blocks) {
      ASSERT_TRUE(modem.Send(Block(image, region.dwStart + i * kDataBlockSize)));
      ASSERT_EQ(modem.ReadAnswer(), ACK) << "block " << i << " of region at " << region.dwStart;
    }
  }
  EXPECT_TRUE(modem.ReadUpTo(1, kAbsentMs).empty()) << "every frame and block is answered exactly once";
  modem.Close();
  SimSummary summary = run.End();
  EXPECT_EQ(summary.end, "phone-done");
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
  EXPECT_EQ(blocks, 5u + 16 + 16 + 64 + 192 + 256);
  ASSERT_EQ(summary.regions.size(), 7u);
  EXPECT_EQ(summary.regions[0].erase, "none");
  EXPECT_EQ(summary.regions[1].start, 0x380000u);
  EXPECT_EQ(summary.regions[1].length, 5000u);
  EXPECT_EQ(summary.regions[1].pastEndBytes, 5u * 1024 - 5000);
  EXPECT_EQ(summary.regions[1].pastEnd, "match");
  EXPECT_TRUE(summary.verifyPassed) << summary.ToJson();
}

TEST(ModemWire, AnswersOkWhenConfigured) {
  SimConfig config;
  config.answerOk = true;
  SimRun run(config);
  ScriptedHost modem(run.channel.Provider());
  OpenModem(run, modem);
  ASSERT_TRUE(modem.Send(JumpFrame()));
  EXPECT_EQ(modem.ReadExact(2), (Bytes{'O', 'K'}));
}

TEST(ModemWire, BlocksLandOneAfterAnotherFromTheEraseStart) {
  SimRun run(SimConfig{});
  ScriptedHost modem(run.channel.Provider());
  OpenModem(run, modem);
  Bytes image = Pattern(3 * 1024, 22);
  for (const Bytes& frame : {JumpFrame(), JumpFrame(), JumpFrame(), EraseFrame(0x20000, 2500)}) {
    ASSERT_TRUE(modem.Send(frame));
  }
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(modem.ReadAnswer(), ACK);
  }
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(modem.Send(Block(image, i * kDataBlockSize)));
    EXPECT_EQ(modem.ReadAnswer(), ACK);
  }
  modem.Close();
  run.End();
  EXPECT_EQ(run.handset.Flash().ReadModem(0x20000, 3 * 1024), image);
}

TEST(ModemWire, RepeatedEraseBeforeTheFirstBlockIsAnsweredAgain) {
  SimRun run(SimConfig{});
  ScriptedHost modem(run.channel.Provider());
  OpenModem(run, modem);
  Bytes erase = EraseFrame(0x1000, 1024);
  for (const Bytes& frame : {JumpFrame(), JumpFrame(), JumpFrame(), erase, erase}) {
    ASSERT_TRUE(modem.Send(frame));
  }
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(modem.ReadAnswer(), ACK) << "answer " << i;
  }
  ASSERT_TRUE(modem.Send(Bytes(kDataBlockSize, 0x7E)));
  EXPECT_EQ(modem.ReadAnswer(), ACK);
  modem.Close();
  SimSummary summary = run.End();
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
  EXPECT_EQ(run.handset.Flash().ReadModem(0x1000, kDataBlockSize), Bytes(kDataBlockSize, 0x7E));
}

}  // namespace
}  // namespace tw::sim::test
