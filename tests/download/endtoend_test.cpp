// A whole upgrade in real time over pseudo-terminals: a package with an
// EBOOT, an OS image and a phone image (all seven regions) flashes the
// simulated handset from its hello to WM_DOWNLOAD_DONE, and the handset finds
// every image and region identical.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/simulation.h"
#include "firmware/imageset.h"
#include "pda/pdaguid.h"
#include "platform/linuxdeviceprovider.h"
#include "platform/porttable.h"
#include "platform/ttyinterfacebackend.h"
#include "sim/cli/packageimages.h"
#include "sim/ptytransport.h"
#include "tests/download/downloadtestkit.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

constexpr int kComPort = 7;

class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = fs::temp_directory_path() / ("tidewell-e2e-" + std::to_string(::getpid()));
    fs::create_directories(m_root / "dev");
    m_provider.AddInterfaceBackend(GUID_PDA_DOWNLOAD_INTERFACE,
                                   std::make_unique<CTtyInterfaceBackend>((m_root / "dev").string()));
  }
  void TearDown() override { fs::remove_all(m_root); }

  fs::path m_root;
  CPortTable m_ports{
      (fs::temp_directory_path() / ("tidewell-e2e-" + std::to_string(::getpid())) / "dev").string()};
  CLinuxDeviceProvider m_provider{m_ports};
  RealClock m_clock;
};

TEST_F(EndToEndTest, PackageFlashesTheSimulatedHandsetFromHelloToDone) {
  // The package, and the upgrader's firmware set loaded from it.
  const GeneratedSizes sizes{64 * 1024, 512 * 1024 + 77, 0x380000 + 8192 + 5};
  std::string package, error;
  ASSERT_TRUE(WriteGeneratedPackage(m_root.string(), sizes, true, &package, &error)) << error;
  CImageSet images;
  ASSERT_TRUE(images.LoadAttachedImages(package));

  // The handset on pseudo-terminals in the device directory.
  sim::SimImages expected;
  ASSERT_TRUE(sim::LoadPackageImages(package, &expected, &error)) << error;
  sim::SimConfig config;
  config.comPort = kComPort;
  config.phoneRegions = 7;
  sim::PtyTransport transport((m_root / "dev").string());
  sim::SimHandset handset(config, transport, m_clock);
  handset.SetExpected(expected);
  ASSERT_TRUE(handset.Start());

  // The dialog's part: connect, Start, and the COM port when it arrives.
  TestOwner owner(m_provider);
  owner.UseClock(m_clock);
  owner.UsePhoneFile(images.m_PhoneFile);
  owner.m_bDownEboot = images.m_bDownEboot.load();
  owner.m_bDownPda = images.m_bDownPda.load();
  owner.m_bDownPhone = images.m_bDownPhone.load();
  owner.m_bPhoneFullSet = images.m_bPhoneFullSet.load();
  owner.m_bPhoneExtraCmd = images.m_bPhoneExtraCmd.load();
  TestLog log;
  TestProgress progress;
  ASSERT_TRUE(
      RunWholeUpgrade(owner, &images.m_ImageTable, (m_root / "dev").string(), kComPort, log, progress));
  EXPECT_EQ(owner.Posted(WM_DOWNLOAD_DONE), 1);
  EXPECT_EQ(owner.m_bRundnload[0], 0);
  EXPECT_NE(log.Text().find("[COM7]PHONE Download complete.\r\n"), std::string::npos);
  EXPECT_EQ(progress.Texts().back(), "[COM7]Phone image complete.");

  ASSERT_TRUE(handset.WaitEnd(20000));
  const sim::SimSummary summary = handset.Summary();
  EXPECT_EQ(summary.end, "phone-done") << summary.ToJson();
  EXPECT_TRUE(summary.verifyPassed) << summary.ToJson();
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
  EXPECT_EQ(summary.eboot.verify.result, "match");
  EXPECT_EQ(summary.os.verify.result, "match");
  ASSERT_EQ(summary.regions.size(), 7u);
  for (const sim::RegionSummary& region : summary.regions) {
    if (region.erase != "none") {
      EXPECT_EQ(region.verify.result, "match") << "region " << region.index;
    }
  }
}

}  // namespace
}  // namespace tw::test
