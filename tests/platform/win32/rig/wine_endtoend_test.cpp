// A whole upgrade under Wine: the Linux simulated handset on ptys, its PDA
// interface linked to the registered test device's dosdevices name and its
// COM port to COM7, a packed tidewell.exe (packed by the Linux tidewell-tool)
// upgrading it headless, WM_DEVICECHANGE sent for the port as Windows would.
// Run by the Windows build's CTest, which names the programs in the environment.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/childprocess.h"
#include "tests/platform/win32/testdevice.h"

namespace tw::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Generous bounds for a run of seconds (minutes with the released sizes).
constexpr int kRunBoundSeconds = 150;
constexpr int kReleasedBoundSeconds = 1200;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

void WriteRandom(const std::string& path, std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<char> bytes(size);
  for (char& b : bytes) {
    b = static_cast<char>(random());
  }
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The last "progress NNN% text" line's text.
std::string LastProgressText(const std::string& err) {
  std::string last;
  for (std::size_t at = 0; (at = err.find("progress ", at)) != std::string::npos;) {
    const std::size_t textStart = err.find("% ", at) + 2;
    const std::size_t lineEnd = err.find_first_of("\r\n", textStart);
    last = err.substr(textStart, lineEnd - textStart);
    at = lineEnd;
  }
  return last;
}

// The prefix's Wine server: the process named wineserver that works in the
// directory Wine keeps for the prefix (.../server-<device>-<inode>). 0 when none runs.
pid_t WineServerOf(const std::string& prefix) {
  struct stat info {};
  if (stat(prefix.c_str(), &info) != 0) {
    return 0;
  }
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, "/server-%llx-%llx", static_cast<unsigned long long>(info.st_dev),
                static_cast<unsigned long long>(info.st_ino));
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ignored)) {
    const std::string cwd = fs::read_symlink(entry.path() / "cwd", ignored).string();
    if (!ignored && cwd.ends_with(suffix) &&
        ReadFile((entry.path() / "comm").string()).starts_with("wineserver")) {
      return static_cast<pid_t>(std::atoi(entry.path().filename().c_str()));
    }
  }
  return 0;
}

// A process's controlling terminal (tty_nr of /proc/PID/stat), 0 for none.
int ControllingTerminal(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t afterName = stat.rfind(')');
  if (afterName == std::string::npos) {
    return 0;
  }
  // After the name: state, parent, process group, session, terminal.
  std::istringstream fields(stat.substr(afterName + 1));
  std::string state;
  long parent = 0, group = 0, session = 0, terminal = 0;
  fields >> state >> parent >> group >> session >> terminal;
  return static_cast<int>(terminal);
}

// What the prefix's Wine server is doing: a server that waits in a call of
// its own stalls every Wine program, and the test's failure is then Wine's.
std::string WineServerState(pid_t pid) {
  if (pid == 0) {
    return "the prefix's Wine server was not found\n";
  }
  const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
  const std::size_t state = status.find("State:");
  return "Wine server " + std::to_string(pid) + ": " +
         (state == std::string::npos ? std::string("gone")
                                     : status.substr(state, status.find('\n', state) - state)) +
         ", waiting in " + ReadFile("/proc/" + std::to_string(pid) + "/wchan") + "\n";
}

struct RunResult {
  int nUpgrader = 0;
  std::string strLog, strProgress, strSummary;
  std::string strWine;  // the Wine server's state when the upgrader had to be ended
};

class WineEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"WINEPREFIX", "TIDEWELL_WIN_TIDEWELL", "TIDEWELL_WIN_HELPER",
                             "TIDEWELL_HOST_TOOL", "TIDEWELL_HOST_SIM", "TIDEWELL_WINE_PTYSHIM"}) {
      ASSERT_FALSE(Env(name).empty()) << name << " is not set";
    }
    std::string pattern = (fs::temp_directory_path() / "tidewell-wine-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
    m_devDir = m_dir + "/dev";
    fs::create_directory(m_devDir);
    m_dosdevices = Env("WINEPREFIX") + "/dosdevices";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove(m_dosdevices + "/" + kTestInterfaceLink, ignored);
    fs::remove(m_dosdevices + "/com7", ignored);
    fs::remove_all(m_dir, ignored);
  }

  // The firmware set, packed into a copy of tidewell.exe by the Linux tool:
  // small images (the phone's CODE region in 64 blocks) unless released.
  void Pack(bool bReleasedSizes) {
    WriteRandom(m_dir + "/eboot.nb0", bReleasedSizes ? 1126400 : 64 * 1024, 1);
    WriteRandom(m_dir + "/pda.bin", bReleasedSizes ? 63822351 : 256 * 1024, 2);
    WriteRandom(m_dir + "/phone.bin", bReleasedSizes ? 14524912 : 0x380000 + 64 * 1024, 3);
    m_upgrader = m_dir + "/tidewell.exe";
    m_nBoundSeconds = bReleasedSizes ? kReleasedBoundSeconds : kRunBoundSeconds;
    ChildProcess pack(
        {Env("TIDEWELL_HOST_TOOL"), "pack", "--eboot", m_dir + "/eboot.nb0", "--pda", m_dir + "/pda.bin",
         "--phone", m_dir + "/phone.bin", "--full-set", bReleasedSizes ? "1" : "0", "--upgrader",
         Env("TIDEWELL_WIN_TIDEWELL"), "-o", m_upgrader},
        m_dir + "/pack.out", m_dir + "/pack.err");
    ASSERT_EQ(pack.Wait(60), 0) << ReadFile(m_dir + "/pack.err");
    ChildProcess inspect({Env("TIDEWELL_HOST_TOOL"), "inspect", m_upgrader}, m_dir + "/inspect.out",
                         m_dir + "/inspect.err");
    ASSERT_EQ(inspect.Wait(60), 0) << ReadFile(m_dir + "/inspect.out") << ReadFile(m_dir + "/inspect.err");
  }

  // Links a dosdevices name to where the device directory's entry points.
  void Link(const std::string& name, const std::string& entry) {
    std::error_code ignored;
    fs::remove(m_dosdevices + "/" + name, ignored);
    fs::create_symlink(fs::read_symlink(m_devDir + "/" + entry), m_dosdevices + "/" + name, ignored);
  }
  void Post(const std::string& action, const std::string& kind, const std::string& name) {
    ChildProcess helper({"/usr/bin/wine", Env("TIDEWELL_WIN_HELPER"), "post", action, kind, name},
                        m_dir + "/helper.out", m_dir + "/helper.err");
    EXPECT_EQ(helper.Wait(60), 0) << ReadFile(m_dir + "/helper.err") << WineServerState(m_server);
  }

  RunResult Run(const std::vector<std::string>& faults) {
    std::vector<std::string> simArgs{
        Env("TIDEWELL_HOST_SIM"), "--device-dir", m_devDir, "--com", "7", "--verify", m_upgrader};
    simArgs.insert(simArgs.end(), faults.begin(), faults.end());
    ChildProcess handset(simArgs, m_dir + "/sim.out", m_dir + "/sim.err");
    // The handset's interface is there before the upgrader starts: it is
    // found among the present interfaces of its class.
    const auto end = Clock::now() + std::chrono::seconds(m_nBoundSeconds);
    while (!fs::exists(m_devDir + "/pda0") && Clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Link(kTestInterfaceLink, "pda0");
    setenv("LD_PRELOAD", Env("TIDEWELL_WINE_PTYSHIM").c_str(), 1);
    ChildProcess upgrader(
        {"/usr/bin/wine", m_upgrader, "--headless", "--timeout", std::to_string(m_nBoundSeconds - 30)},
        m_dir + "/tw.out", m_dir + "/tw.err");
    unsetenv("LD_PRELOAD");
    // The hand-over: the interface leaves, COM7 arrives (Wine announces
    // neither, so they are sent as the system would).
    RunResult result;
    bool pdaGone = false, portCame = false;
    // Wine's server opens the ptys: one that became its controlling terminal
    // would send it SIGHUP when the handset leaves, and while it handles
    // that every program of the prefix waits (see the pty shim).
    m_server = WineServerOf(Env("WINEPREFIX"));
    EXPECT_NE(m_server, 0) << "the prefix's Wine server was not found";
    int serverTerminal = 0;
    for (;;) {
      if (m_server != 0 && serverTerminal == 0) {
        serverTerminal = ControllingTerminal(m_server);
      }
      const int status = upgrader.Poll();
      if (status != ChildProcess::kRunning) {
        result.nUpgrader = status;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (Clock::now() > end) {
        result.strWine = WineServerState(m_server);
        result.nUpgrader = upgrader.Wait(0);
        break;
      }
      if (!pdaGone && !fs::exists(m_devDir + "/pda0")) {
        pdaGone = true;
        Post("removal", "interface", kTestInterfacePath);
      }
      if (pdaGone && !portCame && fs::exists(m_devDir + "/COM7")) {
        portCame = true;
        Link("com7", "COM7");
        Post("arrival", "port", "COM7");
      }
    }
    handset.Wait(15);
    EXPECT_EQ(serverTerminal, 0) << "a pty of the test became the Wine server's controlling terminal";
    result.strLog = ReadFile(m_dir + "/tw.out");
    result.strProgress = ReadFile(m_dir + "/tw.err");
    result.strSummary = ReadFile(m_dir + "/sim.out");
    std::erase(result.strLog, '\r');
    return result;
  }

  std::string m_dir, m_devDir, m_dosdevices, m_upgrader;
  int m_nBoundSeconds = kRunBoundSeconds;
  pid_t m_server = 0;  // the prefix's Wine server during a run
};

TEST_F(WineEndToEnd, WholeUpgradeVerifies) {
  ASSERT_NO_FATAL_FAILURE(Pack(false));
  const auto start = Clock::now();
  RunResult r = Run({});
  EXPECT_EQ(r.nUpgrader, 0) << r.strWine << r.strProgress << r.strLog;
  EXPECT_EQ(LastProgressText(r.strProgress), "[COM7]Phone image complete.");
  EXPECT_NE(r.strSummary.find("\"verified\":true,\"verifyPassed\":true"), std::string::npos) << r.strSummary;
  EXPECT_NE(r.strSummary.find("\"violations\":[]"), std::string::npos) << r.strSummary;
  EXPECT_NE(r.strLog.find("[PDA]OS image download complete.\n"), std::string::npos) << r.strLog;
  std::printf("whole upgrade under Wine: %.1f s\n",
              std::chrono::duration<double>(Clock::now() - start).count());
}

TEST_F(WineEndToEnd, MissingPhoneBlockAcknowledgementFails) {
  ASSERT_NO_FATAL_FAILURE(Pack(false));
  RunResult r = Run({"--no-answer-block", "10"});
  EXPECT_EQ(r.nUpgrader, 1) << r.strWine << r.strProgress << r.strLog << r.strSummary;
  EXPECT_EQ(LastProgressText(r.strProgress), "id[0]-[COM7] PHONE download fail.--") << r.strProgress;
}

// For the benchmark (scripts/bench-wine.sh), not for the test run: the
// released sizes, all seven regions, the handset without a pause of its own,
// as bench_download_upgrade runs them on Linux. Prints the wall time.
TEST_F(WineEndToEnd, ReleasedSizesForTheBenchmark) {
  if (Env("TIDEWELL_WINE_BENCH").empty()) {
    GTEST_SKIP() << "set TIDEWELL_WINE_BENCH to run it";
  }
  ASSERT_NO_FATAL_FAILURE(Pack(true));
  const auto start = Clock::now();
  RunResult r = Run({"--regions", "7", "--phone-pause", "0"});
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(r.nUpgrader, 0) << r.strWine << r.strProgress;
  EXPECT_NE(r.strSummary.find("\"verified\":true,\"verifyPassed\":true"), std::string::npos) << r.strSummary;
  std::printf("wine_wall_s=%.3f\n", wall);
}

}  // namespace
}  // namespace tw::test
