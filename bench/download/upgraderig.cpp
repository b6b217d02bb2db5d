#include "bench/download/upgraderig.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/simulation.h"
#include "download/download.h"
#include "firmware/imageset.h"
#include "pda/pdaguid.h"
#include "platform/linuxdeviceprovider.h"
#include "platform/porttable.h"
#include "platform/ttyinterfacebackend.h"

extern char** environ;

namespace tw::bench {

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

constexpr int kComPort = 7;

double SecondsSince(Steady::time_point start) {
  return std::chrono::duration<double>(Steady::now() - start).count();
}

// The real clock, adding up how long the upgrader's sleeps took (a sleep
// lasts a little longer than asked; that belongs to the sleep too).
class TallyClock final : public IClock {
 public:
  bool Sleep(std::uint32_t ms, std::stop_token stop) override {
    const auto start = Steady::now();
    const bool bSlept = m_clock.Sleep(ms, stop);
    m_sleptUs += static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - start).count());
    return bSlept;
  }
  std::uint32_t GetTickCount() override { return m_clock.GetTickCount(); }
  double SleptS() const { return static_cast<double>(m_sleptUs.load()) / 1e6; }

 private:
  RealClock m_clock;
  std::atomic<std::uint64_t> m_sleptUs{0};
};

// Counts the host's writes, on the download interface and on the port: each
// one is answered by the handset, except a handful of commands, so their
// number is the number of round trips.
class CountingProvider final : public IDeviceProvider {
 public:
  explicit CountingProvider(IDeviceProvider& inner) : m_inner(inner) {}
  std::vector<std::string> EnumerateInterfaces(const GUID& cls) override {
    return m_inner.EnumerateInterfaces(cls);
  }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string& path, std::string* error) override {
    return Wrap(m_inner.OpenInterface(path, error), m_interfaceWrites);
  }
  std::unique_ptr<IByteDevice> OpenPort(const std::string& name, std::string* error) override {
    return Wrap(m_inner.OpenPort(name, error), m_portWrites);
  }
  std::uint64_t InterfaceWrites() const { return m_interfaceWrites; }
  std::uint64_t PortWrites() const { return m_portWrites; }

 private:
  class Device final : public IByteDevice {
   public:
    Device(std::unique_ptr<IByteDevice> inner, std::atomic<std::uint64_t>& writes)
        : m_inner(std::move(inner)), m_writes(writes) {}
    long BytesWaiting() override { return m_inner->BytesWaiting(); }
    int WaitReceive(int timeoutMs) override { return m_inner->WaitReceive(timeoutMs); }
    long Read(void* dst, std::size_t n) override { return m_inner->Read(dst, n); }
    bool Write(const void* src, std::size_t n, int timeoutMs) override {
      ++m_writes;
      return m_inner->Write(src, n, timeoutMs);
    }
    void Purge() override { m_inner->Purge(); }
    bool DeliversWholeMessages() const override { return m_inner->DeliversWholeMessages(); }

   private:
    std::unique_ptr<IByteDevice> m_inner;
    std::atomic<std::uint64_t>& m_writes;
  };

  static std::unique_ptr<IByteDevice> Wrap(std::unique_ptr<IByteDevice> device,
                                           std::atomic<std::uint64_t>& writes) {
    return device ? std::make_unique<Device>(std::move(device), writes) : nullptr;
  }

  IDeviceProvider& m_inner;
  std::atomic<std::uint64_t> m_interfaceWrites{0};
  std::atomic<std::uint64_t> m_portWrites{0};
};

// The main dialog's part of an upgrade: its flags, the phone image and the
// end-of-run message.
class BenchOwner final : public IDownloadOwner, public DownloadOwnerFlags {
 public:
  BenchOwner(CImageSet& images, IClock& clock, IDeviceProvider& devices, PhonePacing pacing)
      : m_images(images), m_clock(clock), m_devices(devices), m_pacing(pacing) {
    m_bDownEboot = images.m_bDownEboot.load();
    m_bDownPda = images.m_bDownPda.load();
    m_bDownPhone = images.m_bDownPhone.load();
    m_bPhoneFullSet = images.m_bPhoneFullSet.load();
    m_bPhoneExtraCmd = images.m_bPhoneExtraCmd.load();
  }
  DownloadOwnerFlags& OwnerFlags() override { return *this; }
  const CDloadFile& PhoneFile() override { return m_images.m_PhoneFile; }
  void PostMessage(UINT nMsg, WPARAM, LPARAM) override {
    std::lock_guard guard(m_lock);
    m_done = m_done || nMsg == WM_DOWNLOAD_DONE;
    m_changed.notify_all();
  }
  IClock& Clock() override { return m_clock; }
  IDeviceProvider& Devices() override { return m_devices; }
  PhonePacing Pacing() override { return m_pacing; }
  bool WaitDone(int timeoutMs) {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return m_done; });
  }

 private:
  CImageSet& m_images;
  IClock& m_clock;
  IDeviceProvider& m_devices;
  const PhonePacing m_pacing;
  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_done = false;
};

template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs) {
  const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (Steady::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

pid_t SpawnSimulator(const fs::path& dir, const std::string& package, const fs::path& summary) {
  const std::string sim = TIDEWELL_SIM_BIN;
  std::vector<std::string> args{sim, "--device-dir", (dir / "dev").string(), "--verify", package, "--regions",
                                "7", "--com", std::to_string(kComPort),
                                // no pause of its own between the USB side and the COM port
                                "--phone-pause", "0"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, summary.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, sim.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

std::string MakeReleasedPackage(const std::string& dir, std::string* error) {
  std::error_code failed;
  fs::create_directories(dir, failed);
  std::string package;
  if (failed || !WriteGeneratedPackage(dir, kReleasedSizes, true, &package, error)) {
    if (failed) *error = "cannot make " + dir + ": " + failed.message();
    return {};
  }
  return package;
}

UpgradeFigures RunUpgrade(const std::string& dirName, const std::string& package, PhonePacing pacing) {
  const fs::path dir(dirName);
  fs::create_directories(dir / "dev");
  UpgradeFigures figures;
  CImageSet images;
  images.LoadAttachedImages(package);
  const pid_t sim = SpawnSimulator(dir, package, dir / "summary.json");
  CPortTable ports((dir / "dev").string());
  CLinuxDeviceProvider hostDevices(ports);
  hostDevices.AddInterfaceBackend(GUID_PDA_DOWNLOAD_INTERFACE,
                                  std::make_unique<CTtyInterfaceBackend>((dir / "dev").string()));
  CountingProvider provider(hostDevices);
  TallyClock clock;
  BenchOwner owner(images, clock, provider, pacing);
  if (sim < 0 || !WaitFor([&] { return fs::exists(dir / "dev" / "pda0"); }, 10000)) {
    if (sim > 0) {
      kill(sim, SIGTERM);
      waitpid(sim, nullptr, 0);
    }
    return figures;
  }

  const auto start = Steady::now();
  {
    CDownLoad dl(&owner, 0);
    if (dl.ConnectPda(&images.m_ImageTable, 0)) {
      dl.StartDownload(0);
      const fs::path com = dir / "dev" / ("COM" + std::to_string(kComPort));
      PhonePort port{kComPort};
      dl.m_nPort = kComPort;
      figures.bDone = WaitFor([&] { return owner.m_bPhoneStage[0] == 1; }, 600000);
      figures.pdaWallS = SecondsSince(start);
      figures.pdaSleptS = clock.SleptS();
      figures.pdaTrips = static_cast<double>(provider.InterfaceWrites());
      figures.bDone = figures.bDone && WaitFor([&] { return fs::exists(com); }, 60000);
      const auto phoneStart = Steady::now();
      const double sleptBefore = clock.SleptS();
      figures.bDone = figures.bDone && dl.ConnectPhone(&port, 0) && owner.WaitDone(900000);
      figures.phoneWallS = SecondsSince(phoneStart);
      figures.phoneSleptS = clock.SleptS() - sleptBefore;
      figures.phoneTrips = static_cast<double>(provider.PortWrites());
    }
  }
  figures.wallS = SecondsSince(start);
  figures.sleptS = clock.SleptS();
  figures.trips = static_cast<double>(provider.InterfaceWrites() + provider.PortWrites());
  int status = 0;
  waitpid(sim, &status, 0);
  figures.bVerified = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return figures;
}

double BarePtyRoundTripUs(int exchanges, std::uint32_t pauseMs) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  termios raw{};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  const pid_t echo = fork();
  if (echo == 0) {
    close(slave);
    std::array<char, 4096> buffer;
    std::size_t have = 0;
    for (;;) {
      const ssize_t got = read(master, buffer.data(), buffer.size());
      if (got <= 0) _exit(0);
      for (have += static_cast<std::size_t>(got); have >= 1024; have -= 1024) {
        if (write(master, "\x7E\x02\x6A\xD3\x7E", 5) != 5) _exit(0);
      }
    }
  }
  std::array<char, 1024> block{};
  std::array<char, 16> answer{};
  TallyClock clock;
  const auto start = Steady::now();
  for (int i = 0; i < exchanges; ++i) {
    if (write(slave, block.data(), block.size()) != static_cast<ssize_t>(block.size())) break;
    if (pauseMs > 0) clock.Sleep(pauseMs, {});
    for (std::size_t got = 0; got < 5;) {
      pollfd wait{slave, POLLIN, 0};
      poll(&wait, 1, 1000);
      const ssize_t n = read(slave, answer.data(), answer.size());
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
  }
  const double us =
      (std::chrono::duration<double, std::micro>(Steady::now() - start).count() - clock.SleptS() * 1e6) /
      exchanges;
  close(slave);
  close(master);
  kill(echo, SIGTERM);
  waitpid(echo, nullptr, 0);
  return us;
}

}  // namespace tw::bench
