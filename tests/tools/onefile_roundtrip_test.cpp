// A one-file image from three files, opened by the developer command in
// another directory, flashes the simulated handset in real time, and the
// handset finds the EBOOT, the OS image and every phone region identical to
// the three files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "firmware/imageset.h"
#include "pda/pdaguid.h"
#include "platform/linuxdeviceprovider.h"
#include "platform/porttable.h"
#include "platform/ttyinterfacebackend.h"
#include "sim/ptytransport.h"
#include "tests/download/downloadtestkit.h"
#include "tests/tools/scratchdir.h"
#include "tools/devtools.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;

constexpr int kComPort = 7;

TEST(OneFileRoundTripTest, MadeOpenedAndFlashed) {
  ScratchDir dir;
  // 1. Three files, and the one-file image of them as the INI describes it.
  const Bytes eboot = SeededBytes(64 * 1024, 11), pda = SeededBytes(512 * 1024 + 77, 12),
              phone = SeededBytes(0x380000 + 8192 + 5, 13);
  fs::create_directories("src");
  WriteBytes("src/eboot.nb0", eboot);
  WriteBytes("src/pda.bin", pda);
  WriteBytes("src/phone.bin", phone);
  WriteText("OneImgMergy.ini",
            "[ONEFILE_IMAGE]\nFILE_COUNT=3\nFILE_DIR=src\nEBOOT_NAME=eboot.nb0\n"
            "PDA_NAME=pda.bin\nPHONE_NAME=phone.bin\nOUTPUT_FILE=all.img\n");
  CImageSet images;
  CDevTools tools(images);
  tools.ReadIniFiles();
  ASSERT_EQ(tools.MakeOneFileImage(), 0);

  // 2. Opened from another directory, where its parts are extracted.
  fs::create_directories("load");
  fs::current_path("load");
  tools.SetCallbacks(
      ToolCallbacks{[](const std::string& text) { ADD_FAILURE() << text; },
                    [](const std::string&, DWORD) { return std::optional<std::string>("../all.img"); }});
  ASSERT_EQ(tools.OpenOneFileImage(), 0);
  ASSERT_EQ(images.m_bImageLoaded, 1);

  // 3. The handset expects the three files; a phone image from its own file
  // is followed by zeros.
  sim::SimImages expected;
  expected.hasEboot = true;
  expected.eboot = eboot;
  expected.os = pda;
  expected.phone = phone;
  expected.phoneFullSet = true;
  fs::create_directories(dir.Path() / "dev");
  const std::string devDir = (dir.Path() / "dev").string();
  CPortTable ports(devDir);
  CLinuxDeviceProvider provider(ports);
  provider.AddInterfaceBackend(GUID_PDA_DOWNLOAD_INTERFACE, std::make_unique<CTtyInterfaceBackend>(devDir));
  RealClock clock;
  sim::SimConfig config;
  config.comPort = kComPort;
  config.phoneRegions = 7;
  sim::PtyTransport transport(devDir);
  sim::SimHandset handset(config, transport, clock);
  handset.SetExpected(expected);
  ASSERT_TRUE(handset.Start());

  // 4. The download of all three, as the dialog runs it.
  TestOwner owner(provider);
  owner.UseClock(clock);
  owner.UsePhoneFile(images.m_PhoneFile);
  owner.m_bDownEboot = 1;
  owner.m_bDownPda = 1;
  owner.m_bDownPhone = 1;
  owner.m_bPhoneFullSet = 1;
  TestLog log;
  TestProgress progress;
  ASSERT_TRUE(
      RunWholeUpgrade(owner, &images.m_ImageTable, (dir.Path() / "dev").string(), kComPort, log, progress));
  EXPECT_NE(log.Text().find("[COM7]PHONE Download complete.\r\n"), std::string::npos) << log.Text();

  // 5. What the handset holds.
  ASSERT_TRUE(handset.WaitEnd(20000));
  const sim::SimSummary summary = handset.Summary();
  EXPECT_EQ(summary.end, "phone-done") << summary.ToJson();
  EXPECT_TRUE(summary.verifyPassed) << summary.ToJson();
  EXPECT_EQ(summary.eboot.verify.result, "match");
  EXPECT_EQ(summary.os.verify.result, "match");
  for (const sim::RegionSummary& region : summary.regions) {
    if (region.erase != "none") {
      EXPECT_EQ(region.verify.result, "match") << "region " << region.index;
    }
  }
}

}  // namespace
}  // namespace tw::test
