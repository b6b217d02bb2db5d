#include "platform/linuxdeviceprovider.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/ttyinterfacebackend.h"
#include "tests/platform/ptypair.h"

namespace tw {
namespace {

using test::PtyPair;
using test::TempDir;

constexpr GUID kClass = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
constexpr GUID kOtherClass = {0x99999999, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};

class LinuxDeviceProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pda.Ok() && modem.Ok());
    ports = std::make_unique<CPortTable>(dir.Path());
    provider = std::make_unique<CLinuxDeviceProvider>(*ports);
    provider->AddInterfaceBackend(kClass, std::make_unique<CTtyInterfaceBackend>(dir.Path() + "/"));
  }
  TempDir dir;
  PtyPair pda;
  PtyPair modem;
  std::unique_ptr<CPortTable> ports;
  std::unique_ptr<CLinuxDeviceProvider> provider;
};

TEST_F(LinuxDeviceProviderTest, ListsThePdaEntriesOfItsClassSortedByName) {
  for (const char* name : {"pda2", "pda0", "pdaB", "COM12", "LPT1", "xpda"}) {
    ASSERT_TRUE(dir.Link(name, pda.SlavePath()));
  }
  std::ofstream(dir / "pda1") << "";
  EXPECT_EQ(provider->EnumerateInterfaces(kClass),
            (std::vector<std::string>{dir / "pda0", dir / "pda1", dir / "pda2", dir / "pdaB"}));
  EXPECT_TRUE(provider->EnumerateInterfaces(kOtherClass).empty());
}

TEST_F(LinuxDeviceProviderTest, MissingDirectoryListsNothing) {
  CPortTable table;
  CLinuxDeviceProvider empty(table);
  empty.AddInterfaceBackend(kClass, std::make_unique<CTtyInterfaceBackend>(dir / "absent"));
  EXPECT_TRUE(empty.EnumerateInterfaces(kClass).empty());
}

TEST_F(LinuxDeviceProviderTest, OpensInterfacesAndPortsExclusively) {
  ASSERT_TRUE(dir.Link("pda0", pda.SlavePath()));
  ASSERT_TRUE(dir.Link("COM12", modem.SlavePath()));
  std::string error;
  auto interface = provider->OpenInterface(dir / "pda0", &error);
  ASSERT_NE(interface, nullptr) << error;
  EXPECT_EQ(provider->OpenInterface(dir / "pda0", &error), nullptr);

  auto port = provider->OpenPort("\\\\.\\COM12", &error);
  ASSERT_NE(port, nullptr) << error;
  EXPECT_EQ(provider->OpenPort("COM12:", &error), nullptr);

  const unsigned char hello = 0x0A;
  ASSERT_TRUE(modem.Send({hello}));
  EXPECT_EQ(port->WaitReceive(2000), 1);
}

// Entries that carry their location ("@1-2.4") are listed and opened like
// those without: COM9 is the entry COM9@1-2.4.
TEST_F(LinuxDeviceProviderTest, EntriesWithALocationAreListedAndOpened) {
  ASSERT_TRUE(dir.Link("pda@1-2.4", pda.SlavePath()));
  ASSERT_TRUE(dir.Link("COM9@1-2.4", modem.SlavePath()));
  ASSERT_EQ(provider->EnumerateInterfaces(kClass), std::vector<std::string>{dir / "pda@1-2.4"});
  std::string error;
  auto interface = provider->OpenInterface(dir / "pda@1-2.4", &error);
  EXPECT_NE(interface, nullptr) << error;
  auto port = provider->OpenPort("COM9", &error);
  ASSERT_NE(port, nullptr) << error;
  const unsigned char hello = 0x0A;
  ASSERT_TRUE(modem.Send({hello}));
  EXPECT_EQ(port->WaitReceive(2000), 1);
  EXPECT_EQ(ports->Resolve("COM19"), dir / "COM19") << "no entry: the plain name, to fail with";
}

// Two entries with one number could be two handsets: neither is opened.
TEST_F(LinuxDeviceProviderTest, APortNumberGivenTwiceIsRefused) {
  for (const char* names : {"COM9@1-1 COM9@1-2", "COM9 COM9@1-2"}) {
    TempDir devs;
    CPortTable table(devs.Path());
    CLinuxDeviceProvider twice(table);
    std::istringstream list(names);
    for (std::string name; list >> name;) {
      ASSERT_TRUE(devs.Link(name, modem.SlavePath()));
    }
    std::string error;
    EXPECT_EQ(twice.OpenPort("COM9", &error), nullptr) << names;
    EXPECT_NE(error.find("several entries"), std::string::npos) << error;
    EXPECT_NE(error.find("COM9@1-2"), std::string::npos) << error;
  }
}

TEST_F(LinuxDeviceProviderTest, UnknownNamesFailWithAReason) {
  struct Case {
    bool port;
    std::string name;
  };
  const Case cases[] = {
      {true, "COM#:115200,N,8,0"}, {true, "LPT1"},         {true, "COM13"},  // no such entry
      {false, "/dev/null"},        {false, dir / "COM12"}, {false, dir / "pda7"},
  };
  for (const Case& c : cases) {
    std::string error;
    auto device = c.port ? provider->OpenPort(c.name, &error) : provider->OpenInterface(c.name, &error);
    EXPECT_EQ(device, nullptr) << c.name;
    EXPECT_NE(error.find(c.name), std::string::npos) << c.name << ": " << error;
  }
}

}  // namespace
}  // namespace tw
