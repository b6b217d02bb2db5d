// A whole PDA run through the libusb channel: the downloader connects, writes
// the EBOOT and OS images and finishes, against the simulated handset's PDA
// agent answering behind a fake USB device.
#include <gtest/gtest.h>

#include "download/download.h"
#include "pda/pdaguid.h"
#include "platform/linuxdeviceprovider.h"
#include "platform/linuxusb/libusbinterfacebackend.h"
#include "sim/pdaagent.h"
#include "sim/simverify.h"
#include "tests/download/downloadtestkit.h"
#include "tests/platform/linuxusb/fakeusbbus.h"

namespace tw {
namespace {

using namespace std::chrono_literals;
using test::Bytes;

class LibusbDownload : public ::testing::Test {
 protected:
  LibusbDownload()
      : device(bus.AddDevice({})),
        agent(config, flash, recorder,
              [this](std::span<const std::uint8_t> bytes) {
                device.QueueIn(Bytes(bytes.begin(), bytes.end()));
              }),
        provider(ports),
        owner(provider),
        images(test::Pattern(5000, 3), test::Pattern(70000, 4), 0) {
    // The agent greets each new opener and answers every write.
    device.SetOnClaim([this] { agent.OnOpen(); });
    device.SetResponder([this](const Bytes& out) {
      agent.OnBytes(out.data(), out.size());
      return Bytes();
    });
    provider.AddInterfaceBackend(GUID_PDA_DOWNLOAD_INTERFACE,
                                 std::make_unique<CLibusbInterfaceBackend>(
                                     CUsbIdRules({{UsbMatchRule::Use::Download, 0xffff, 0x0352, 0}})));
    owner.m_bSlotIdle[0] = 1;
    owner.m_bDownEboot = 1;
    owner.m_bDownPda = 1;
    owner.m_bDownPhone = 0;
    downloader = std::make_unique<CDownLoad>(&owner, 0);
    downloader->SetLogEdit(&log);
    downloader->SetProgressCtrl(&progress);
  }

  ~LibusbDownload() override { downloader.reset(); }

  test::FakeUsbBus bus;
  test::FakeUsbDevice& device;
  sim::SimConfig config;
  sim::SimFlash flash;
  sim::SimRecorder recorder;
  sim::PdaAgent agent;
  CPortTable ports;
  CLinuxDeviceProvider provider;
  test::TestOwner owner;
  test::TestImages images;
  test::TestLog log;
  test::TestProgress progress;
  std::unique_ptr<CDownLoad> downloader;
};

TEST_F(LibusbDownload, HandshakeEbootAndOsImageArriveIntact) {
  ASSERT_TRUE(downloader->ConnectPda(&images.table, 0)) << log.Text();
  downloader->StartDownload(0);
  downloader->JoinWorkers();

  EXPECT_EQ(owner.Posted(WM_DOWNLOAD_DONE), 1);
  EXPECT_EQ(agent.GetOutcome(), sim::PdaAgent::Outcome::Finished);
  sim::SimImages expected;
  expected.hasEboot = true;
  expected.eboot = images.eboot;
  expected.os = images.pda;
  sim::VerifyRun(expected, flash, recorder);
  sim::SimSummary summary = recorder.Snapshot();
  EXPECT_EQ(summary.eboot.verify.result, "match");
  EXPECT_EQ(summary.os.verify.result, "match");
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
  ASSERT_FALSE(progress.Texts().empty());
  EXPECT_EQ(progress.Texts().back(), "PDA OS image completed.");
}

TEST_F(LibusbDownload, UnpluggingMidRunEndsTheRunInsteadOfHanging) {
  ASSERT_TRUE(downloader->ConnectPda(&images.table, 0)) << log.Text();
  downloader->StartDownload(0);
  ASSERT_TRUE(device.WaitWritten(3000, 10s));
  bus.RemoveDevice(device);
  downloader->JoinWorkers();

  EXPECT_GE(owner.Posted(WM_DOWNLOAD_DONE), 1) << "a failed run still ends";
  EXPECT_NE(agent.GetOutcome(), sim::PdaAgent::Outcome::Finished);
  EXPECT_NE(progress.Texts().back(), "PDA OS image completed.");
}

}  // namespace
}  // namespace tw
