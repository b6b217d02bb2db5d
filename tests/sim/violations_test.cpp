// A deliberately wrong host: what the protocol does not allow is recorded
// as a violation, with the byte offset where it began.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "pda/pdacommands.h"
#include "phonedown/cmsmpacket/msmresponse.h"
#include "tests/sim/scriptedhost.h"
#include "tests/sim/scriptedrun.h"
#include "tests/sim/simrun.h"

namespace tw::sim::test {
namespace {

struct WrongHost {
  const char* name;
  Side side;
  // Sent after the handshake (PDA) or on the open COM port (phone).
  std::function<Bytes()> bytes;
  const char* what;  // part of the violation's text
  std::uint64_t offset;
};

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

Bytes WithBadCrc() {
  Bytes jump = JumpFrame();  // 7E A0 crc crc 7E
  jump[2] ^= 0x01;
  return jump;
}

Bytes ShortEbootRecord() {
  Bytes record = EbootRecord(Pattern(5000, 31), 0);
  record.resize(1000);  // 12 bytes short
  return record;
}

Bytes BlockFirst() {
  Bytes block(1024, 0x11);
  return Join({JumpFrame(), JumpFrame(), JumpFrame(), block});
}

Bytes OsPacketWithDirtyHeader() {
  Bytes packet = OsPacket(Pattern(100, 32), 0, 100);
  packet[5] = 0x33;
  return Join({Command(PDA_CMD_OS_INFO, 100), packet});
}

const std::vector<WrongHost> kWrongHosts = {
    {"bad check sequence", Side::Phone, WithBadCrc, "bad check sequence", 0},
    {"block before the erase", Side::Phone, BlockFirst, "bytes outside a frame", 15},
    {"erase of the wrong length", Side::Phone,
     [] {
       Bytes erase = Frame({0xEF, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0});
       return Join({JumpFrame(), JumpFrame(), JumpFrame(), erase});
     },
     "command 0xEF of 12 bytes; expected 13", 15},
    {"bad escape", Side::Phone, [] { return Bytes{0x7E, 0xA0, 0x7D, 0x11, 0x55, 0x7E}; }, "bad escape", 2},
    {"unknown command", Side::Phone,
     [] {
       return Frame({0x29, 0x01, 0x00});
     },
     "unknown command 0x29", 0},
    {"frame cut short", Side::Phone,
     [] {
       return Join({JumpFrame(), Bytes{0x7E, 0xA0, 0x72}});
     },
     "frame without a closing flag", 5},
    {"EBOOT record of the wrong length", Side::Pda,
     [] {
       return Join({Command(PDA_CMD_EBOOT_INFO, 5000), Command(PDA_CMD_POLL, 5000), ShortEbootRecord()});
     },
     "incomplete message: 1000 bytes of 1012", 48},
    {"EBOOT record before the EBOOT start", Side::Pda, [] { return EbootRecord(Pattern(2000, 33), 0); },
     "EBOOT record out of turn", 24},
    {"first poll without the image size", Side::Pda,
     [] {
       return Join({Command(PDA_CMD_EBOOT_INFO, 5000, 3), Command(PDA_CMD_POLL)});
     },
     "first EBOOT poll", 36},
    {"unknown command", Side::Pda, [] { return Command(99); }, "unknown command 99", 24},
    {"OS packet header not zero", Side::Pda, OsPacketWithDirtyHeader, "OS packet header is not zero", 36 + 5},
    {"OS packet before any request", Side::Pda, [] { return OsPacket(Pattern(10, 34), 0, 10); },
     "OS packet out of turn", 24},
};

// Up to two seconds: a message left unfinished is judged after the host has
// been quiet for a while.
SimSummary WaitForViolation(SimRun& run) {
  for (int i = 0; i < 200; ++i) {
    SimSummary summary = run.handset.Summary();
    if (!summary.violations.empty()) {
      return summary;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return run.handset.Summary();
}

TEST(Violations, WrongHostIsCaughtWithItsOffset) {
  for (const WrongHost& row : kWrongHosts) {
    SCOPED_TRACE(row.name);
    SimRun run(SimConfig{});
    ASSERT_TRUE(run.handset.Start());
    ScriptedHost host(run.channel.Provider());
    ScriptedHost modem(run.channel.Provider());
    ScriptedHost& target = row.side == Side::Pda ? host : modem;
    ASSERT_TRUE(row.side == Side::Pda ? ConnectPda(host) : EnterPhoneMode(host, modem));
    ASSERT_TRUE(target.Send(row.bytes()));
    SimSummary summary = WaitForViolation(run);
    ASSERT_FALSE(summary.violations.empty()) << summary.ToJson();
    const Violation& first = summary.violations.front();
    EXPECT_EQ(first.side, row.side);
    EXPECT_NE(first.what.find(row.what), std::string::npos) << first.what;
    EXPECT_EQ(first.offset, row.offset) << first.what;
  }
}

// The handset judges the host by its own record sizes and region table, not
// by the upgrader's: a host that got a size or an address wrong is caught.
TEST(Violations, RecordOfTheWrongSizeIsCaughtByTheHandsetsOwnSizes) {
  const Bytes image = Pattern(1000, 35);
  const Bytes ebootStart =
      Join({Command(PDA_CMD_EBOOT_INFO, 1000), Command(PDA_CMD_POLL, 1000), EbootRecord(image, 0)});
  struct Row {
    const char* name;
    Bytes bytes;
    const char* what;
    std::uint64_t offset;
  };
  Bytes ebootEnd = Command(PDA_CMD_EBOOT_END);
  ebootEnd.resize(12);  // written like a plain command
  Bytes osInfo = Command(PDA_CMD_OS_INFO, 5000);
  osInfo.resize(16);  // four bytes too many
  Bytes record = EbootRecord(Pattern(2000, 36), 0);
  record.resize(1012 + 8);
  const Row rows[] = {
      {"EBOOT end of 12 bytes", Join({ebootStart, ebootEnd}), "incomplete message: 12 bytes of 100",
       24 + 12 + 12 + 1012},
      {"command of 16 bytes", osInfo, "incomplete message: 4 bytes of 12", 24 + 12},
      {"EBOOT record of 1020 bytes",
       Join({Command(PDA_CMD_EBOOT_INFO, 2000), Command(PDA_CMD_POLL, 2000), record}),
       "incomplete message: 8 bytes of 12", 24 + 12 + 12 + 1012},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimRun run(SimConfig{});
    ASSERT_TRUE(run.handset.Start());
    ScriptedHost host(run.channel.Provider());
    ASSERT_TRUE(ConnectPda(host));
    ASSERT_TRUE(host.Send(row.bytes));
    SimSummary summary = WaitForViolation(run);
    ASSERT_FALSE(summary.violations.empty()) << summary.ToJson();
    EXPECT_NE(summary.violations.front().what.find(row.what), std::string::npos) << summary.ToJson();
    EXPECT_EQ(summary.violations.front().offset, row.offset) << summary.ToJson();
  }
}

TEST(Violations, RegionAtTheWrongAddressIsCaughtByTheHandsetsOwnTable) {
  struct Row {
    const char* name;
    Bytes erase;  // sent after the opening jumps and the jumps of EFS and CODE
    const char* what;
  };
  const Row rows[] = {
      {"CODE one block late", EraseFrame(0x00380400, 4096),
       "region 2 (CODE) erased at 0x380400, not at 0x380000"},
      {"CODE at BOOT's address", EraseFrame(0, 0x4000), "region 2 (CODE) erased at 0x00, not at 0x380000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SimConfig config;
    config.phoneRegions = 7;
    SimRun run(config);
    ASSERT_TRUE(run.handset.Start());
    ScriptedHost host(run.channel.Provider());
    ScriptedHost modem(run.channel.Provider());
    ASSERT_TRUE(EnterPhoneMode(host, modem));
    ASSERT_TRUE(modem.Send(Join({JumpFrame(), JumpFrame(), JumpFrame(), JumpFrame(), row.erase})));
    SimSummary summary = WaitForViolation(run);
    ASSERT_FALSE(summary.violations.empty()) << summary.ToJson();
    EXPECT_EQ(summary.violations.front().what, row.what);
    EXPECT_EQ(summary.violations.front().offset, 4 * JumpFrame().size());
  }
}

TEST(Violations, BadCheckSequenceIsAnsweredWithNak) {
  SimRun run(SimConfig{});
  ASSERT_TRUE(run.handset.Start());
  ScriptedHost host(run.channel.Provider());
  ScriptedHost modem(run.channel.Provider());
  ASSERT_TRUE(EnterPhoneMode(host, modem));
  ASSERT_TRUE(modem.Send(WithBadCrc()));
  EXPECT_EQ(modem.ReadAnswer(), NAK_BAD_CRC);
}

}  // namespace
}  // namespace tw::sim::test
