// The PDA download agent against the host's documented wire sequences.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "pda/pdacommands.h"
#include "platform/byteorder.h"
#include "tests/sim/scriptedhost.h"
#include "tests/sim/scriptedrun.h"
#include "tests/sim/simrun.h"

namespace tw::sim::test {
namespace {

// Collects the channel's device events.
class EventLog {
 public:
  explicit EventLog(InProcChannel& channel) : m_source(channel.NewEventSource()) {
    m_source->Start([this](const DeviceEvent& e) {
      std::lock_guard guard(m_lock);
      m_events.push_back((e.action == DeviceEvent::Action::Arrival ? "+" : "-") + e.name);
      m_arrived.notify_all();
    });
  }
  ~EventLog() { m_source->Stop(); }
  // The events so far, once at least n have come (or after a few seconds).
  std::vector<std::string> Events(std::size_t n) {
    std::unique_lock guard(m_lock);
    m_arrived.wait_for(guard, std::chrono::seconds(5), [&] { return m_events.size() >= n; });
    return m_events;
  }

 private:
  std::unique_ptr<IDeviceEventSource> m_source;
  std::mutex m_lock;
  std::condition_variable m_arrived;
  std::vector<std::string> m_events;
};

// Opens the PDA side and answers the hello as the handshake does.
void Handshake(ScriptedHost& host) {
  ASSERT_TRUE(host.OpenPda());
  Bytes hello = host.ReadUpTo(kPdaReplySize);
  ASSERT_EQ(hello.size(), kPdaReplySize);
  EXPECT_EQ(hello[0], PDA_RSP_HELLO);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_HELLO_ACK)));
  ASSERT_TRUE(host.Send(Command(PDA_CMD_AFTER_CONNECT)));
  EXPECT_TRUE(host.ReadUpTo(1, kAbsentMs).empty()) << "commands 16 and 27 are taken silently";
}

std::uint8_t ReplyCode(ScriptedHost& host) {
  Bytes reply = host.ReadUpTo(kPdaReplySize);
  EXPECT_EQ(reply.size(), kPdaReplySize);
  return reply.empty() ? 0 : reply[0];
}

TEST(PdaWire, TwoRecordEbootRunThenHandOverToThePhone) {
  SimConfig config;
  config.osImageFollowsEboot = false;
  config.comPort = 9;
  SimRun run(config);
  EventLog events(run.channel);
  ASSERT_TRUE(run.handset.Start());
  ScriptedHost host(run.channel.Provider());
  Handshake(host);
  Bytes eboot = Pattern(2000, 11);

  ASSERT_TRUE(host.Send(Command(PDA_CMD_EBOOT_INFO, 2000, 0x5)));
  EXPECT_EQ(ReplyCode(host), PDA_RSP_READY);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_POLL, 2000, 0x5)));
  EXPECT_FALSE(host.ReadUpTo(kPdaReplySize).empty());
  for (std::size_t offset : {0u, 1000u}) {
    ASSERT_TRUE(host.Send(EbootRecord(eboot, offset)));
    EXPECT_FALSE(host.ReadUpTo(kPdaReplySize).empty()) << "record at " << offset;
  }
  ASSERT_TRUE(host.Send(Command(PDA_CMD_EBOOT_END)));
  EXPECT_EQ(ReplyCode(host), PDA_RSP_READY);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_IMAGE_DONE)));
  EXPECT_EQ(ReplyCode(host), PDA_RSP_READY);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_PHONE_MODE, 14524912)));

  ScriptedHost modem(run.channel.Provider());
  ASSERT_TRUE(modem.OpenCom(9));
  EXPECT_TRUE(host.Gone()) << "the USB side is gone in phone mode";
  modem.Close();
  SimSummary summary = run.End();
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
  EXPECT_EQ(run.handset.Flash().Eboot(), eboot);
  EXPECT_EQ(summary.eboot.announced, 2000u);
  EXPECT_EQ(summary.phone.announced, 14524912u);
  std::vector<std::string> seen = events.Events(3);
  seen.resize(std::min<std::size_t>(seen.size(), 3));
  EXPECT_EQ(seen, (std::vector<std::string>{"+pda0", "-pda0", "+COM9"}));
}

TEST(PdaWire, EbootThenOsImageReadsNoReplyToImageDone) {
  SimRun run(SimConfig{});
  ASSERT_TRUE(run.handset.Start());
  ScriptedHost host(run.channel.Provider());
  Handshake(host);
  Bytes eboot = Pattern(1000, 12);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_EBOOT_INFO, 1000)));
  ReplyCode(host);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_POLL, 1000)));
  host.ReadUpTo(kPdaReplySize);
  ASSERT_TRUE(host.Send(EbootRecord(eboot, 0)));
  host.ReadUpTo(kPdaReplySize);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_EBOOT_END)));
  EXPECT_EQ(ReplyCode(host), PDA_RSP_READY);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_IMAGE_DONE)));
  // The OS image follows: the next thing the host reads is a data request.
  ASSERT_TRUE(host.Send(Command(PDA_CMD_OS_INFO, 10)));
  Bytes request = host.ReadUpTo(kReadHeaderSize);
  ASSERT_EQ(request.size(), kReadHeaderSize);
  EXPECT_EQ(LoadLe32(request.data()), PDA_REQ_DATA);
  EXPECT_EQ(LoadLe32(request.data() + 8), 10u);
}

TEST(PdaWire, AsksForThreeThousandBytesAndThenForTheRest) {
  SimConfig config;
  config.osRequestSizes = {3000, 0};
  SimRun run(config);
  ASSERT_TRUE(run.handset.Start());
  ScriptedHost host(run.channel.Provider());
  Handshake(host);
  Bytes os = Pattern(5000, 13);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_OS_INFO, 5000)));

  struct Request {
    std::uint32_t count;
    std::vector<std::size_t> packets;
  };
  const std::vector<Request> requests = {{3000, {1008, 1008, 984}}, {2000, {1008, 992}}};
  std::size_t sent = 0;
  for (const Request& expected : requests) {
    Bytes request = host.ReadUpTo(kReadHeaderSize);
    ASSERT_EQ(request.size(), kReadHeaderSize);
    EXPECT_EQ(LoadLe32(request.data()), PDA_REQ_DATA);
    EXPECT_EQ(LoadLe32(request.data() + 8), expected.count);
    for (std::size_t n : expected.packets) {
      ASSERT_TRUE(host.Send(OsPacket(os, sent, n)));
      sent += n;
      EXPECT_EQ(host.ReadUpTo(kPdaOsAckSize).size(), kPdaOsAckSize) << "ack after byte " << sent;
    }
  }
  EXPECT_EQ(ReplyCode(host), PDA_RSP_OS_DONE);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_FINISH)));
  SimSummary summary = run.End();
  EXPECT_EQ(summary.end, "finish");
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
  EXPECT_EQ(run.handset.Flash().Os(), os);
  EXPECT_EQ(summary.os.received, 5000u);
}

TEST(PdaWire, EmptyOsImageIsOneRequestForNothing) {
  SimRun run(SimConfig{});
  ASSERT_TRUE(run.handset.Start());
  ScriptedHost host(run.channel.Provider());
  Handshake(host);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_OS_INFO, 0)));
  Bytes request = host.ReadUpTo(kReadHeaderSize);
  ASSERT_EQ(request.size(), kReadHeaderSize);
  EXPECT_EQ(LoadLe32(request.data() + 8), 0u);
  ASSERT_TRUE(host.Send(OsPacket({}, 0, 0)));
  EXPECT_EQ(host.ReadUpTo(kPdaOsAckSize).size(), kPdaOsAckSize);
  EXPECT_EQ(ReplyCode(host), PDA_RSP_OS_DONE);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_FINISH)));
  EXPECT_TRUE(run.End().violations.empty());
}

TEST(PdaWire, PhoneOnlyRunGetsOneReplyToPhoneMode) {
  SimRun run(SimConfig{});
  ASSERT_TRUE(run.handset.Start());
  ScriptedHost host(run.channel.Provider());
  Handshake(host);
  ASSERT_TRUE(host.Send(Command(PDA_CMD_PHONE_MODE, 6000)));
  EXPECT_EQ(host.ReadUpTo(kPdaReplySize).size(), kPdaReplySize);
  ScriptedHost modem(run.channel.Provider());
  EXPECT_TRUE(modem.OpenCom(7));
}

TEST(PdaWire, ReopenedChannelStartsOverWithTheHello) {
  SimRun run(SimConfig{});
  ASSERT_TRUE(run.handset.Start());
  for (int session = 0; session < 2; ++session) {
    ScriptedHost host(run.channel.Provider());
    Handshake(host);
  }
  EXPECT_TRUE(run.End(0).violations.empty());
}

}  // namespace
}  // namespace tw::sim::test
