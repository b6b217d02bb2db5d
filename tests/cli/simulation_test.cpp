// tidewell --simulate's handsets: several share the one device directory,
// each at its own location with its own COM port, and their modem ports
// arrive in the reverse order of their PDA interfaces.
#include "cli/simulation.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "pda/pdacommands.h"
#include "pda/pdaguid.h"
#include "platform/deviceaccess.h"
#include "platform/devicedirsource.h"
#include "tests/sim/scriptedhost.h"

namespace tw::test {
namespace {

using sim::test::Bytes;
using sim::test::Command;

constexpr GeneratedSizes kTinySizes{4 * 1024, 16 * 1024, 0x380000 + 4 * 1024};
constexpr auto kBound = std::chrono::seconds(20);

// The events of the device directory, as the upgrader would see them.
class Arrivals {
 public:
  IDeviceEventSource::Sink Sink() {
    return [this](const DeviceEvent& event) {
      std::lock_guard guard(m_lock);
      if (event.action == DeviceEvent::Action::Arrival) {
        m_events.push_back(event);
        m_changed.notify_all();
      }
    };
  }
  // The first n arrivals of a kind, once they have come (fewer at the bound).
  std::vector<DeviceEvent> Of(DeviceEvent::Kind kind, std::size_t n) {
    std::unique_lock guard(m_lock);
    std::vector<DeviceEvent> found;
    m_changed.wait_for(guard, kBound, [&] {
      found.clear();
      for (const DeviceEvent& event : m_events) {
        if (event.kind == kind && found.size() < n) {
          found.push_back(event);
        }
      }
      return found.size() == n;
    });
    return found;
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<DeviceEvent> m_events;
};

Bytes ReadReply(IByteDevice& device) {
  Bytes reply(kPdaReplySize);
  std::size_t got = 0;
  while (got < reply.size() && device.WaitReceive(5000) == 1) {
    long n = device.Read(reply.data() + got, reply.size() - got);
    if (n <= 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  reply.resize(got);
  return reply;
}

bool Send(IByteDevice& device, const Bytes& bytes) {
  return device.Write(bytes.data(), bytes.size(), 2000);
}

// Takes the handset at one PDA interface through the handshake straight into
// phone download mode.
void SendToPhoneMode(IDeviceProvider& provider, const std::string& path) {
  std::string error;
  std::unique_ptr<IByteDevice> pda = provider.OpenInterface(path, &error);
  ASSERT_NE(pda, nullptr) << error;
  ASSERT_EQ(ReadReply(*pda).size(), kPdaReplySize) << "the hello of " << path;
  ASSERT_TRUE(Send(*pda, Command(PDA_CMD_HELLO_ACK)));
  ASSERT_TRUE(Send(*pda, Command(PDA_CMD_AFTER_CONNECT)));
  ASSERT_TRUE(Send(*pda, Command(PDA_CMD_PHONE_MODE)));
  EXPECT_EQ(ReadReply(*pda).size(), kPdaReplySize) << "the phone mode's reply of " << path;
}

class SimulationTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "tidewell-simtest-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
    std::string error;
    ASSERT_TRUE(WriteGeneratedPackage(m_dir, kTinySizes, false, &m_options.strPackage, &error)) << error;
    m_options.bSimulate = true;
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }

  // What Finish writes, and its verdict.
  std::string Finish(CSimulation& simulation, bool* passed) {
    std::FILE* out = std::tmpfile();
    *passed = simulation.Finish(out);
    std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    return text;
  }

  std::string m_dir;
  FrontOptions m_options;
};

TEST_F(SimulationTest, SeveralHandsetsEachAtItsLocationWithItsOwnPort) {
  m_options.nSlots = 4;
  CSimulation simulation;
  std::string error;
  ASSERT_TRUE(simulation.Prepare(m_options, &error)) << error;
  Arrivals arrivals;
  CDeviceDirSource events(simulation.DeviceDir());
  ASSERT_TRUE(events.Start(arrivals.Sink()));
  ASSERT_TRUE(simulation.Start(&error)) << error;

  // 1. The PDA interfaces arrive in order, each at its own location.
  std::vector<DeviceEvent> pdas = arrivals.Of(DeviceEvent::Kind::Other, 4);
  ASSERT_EQ(pdas.size(), 4u);
  for (int k = 1; k <= 4; ++k) {
    const std::string location = "1-" + std::to_string(k);
    EXPECT_EQ(pdas[k - 1].name, simulation.DeviceDir() + "/pda@" + location);
    EXPECT_EQ(pdas[k - 1].location, location);
  }

  // 2. Sent into phone mode in that order, their ports arrive the other way round.
  std::unique_ptr<IDeviceAccess> devices =
      OpenDeviceDirectory(simulation.DeviceDir(), GUID_PDA_DOWNLOAD_INTERFACE, &error);
  ASSERT_NE(devices, nullptr) << error;
  for (const DeviceEvent& pda : pdas) {
    SendToPhoneMode(devices->Provider(), pda.name);
  }
  std::vector<DeviceEvent> ports = arrivals.Of(DeviceEvent::Kind::Port, 4);
  ASSERT_EQ(ports.size(), 4u);
  for (int k = 4; k >= 1; --k) {
    const DeviceEvent& port = ports[static_cast<std::size_t>(4 - k)];
    EXPECT_EQ(port.name, "COM" + std::to_string(6 + k));
    EXPECT_EQ(port.location, "1-" + std::to_string(k));
    std::unique_ptr<IByteDevice> opened = devices->Provider().OpenPort(port.name, &error);
    EXPECT_NE(opened, nullptr) << port.name << ": " << error;
  }
  events.Stop();

  // 3. No handset finished its upgrade: each says so, and so does the verdict.
  bool passed = true;
  const std::string report = Finish(simulation, &passed);
  EXPECT_FALSE(passed);
  for (int k = 1; k <= 4; ++k) {
    const std::string line =
        "simulated handset " + std::to_string(k) + ": {\"location\":\"1-" + std::to_string(k);
    EXPECT_NE(report.find(line), std::string::npos) << report;
  }
  EXPECT_NE(report.find("simulated handset verification: FAILED (handset 1, 2, 3, 4)\n"), std::string::npos)
      << report;
}

// One handset is the handset as always: no location, pda0 and COM7.
TEST_F(SimulationTest, OneHandsetHasNoLocation) {
  CSimulation simulation;
  std::string error;
  ASSERT_TRUE(simulation.Prepare(m_options, &error)) << error;
  ASSERT_TRUE(simulation.Start(&error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(simulation.DeviceDir() + "/pda0"));
  bool passed = true;
  const std::string report = Finish(simulation, &passed);
  EXPECT_FALSE(passed);
  EXPECT_EQ(report.rfind("simulated handset: {\"end\":", 0), 0u) << report;
  EXPECT_NE(report.find("\nsimulated handset verification: FAILED\n"), std::string::npos) << report;
}

}  // namespace
}  // namespace tw::test
