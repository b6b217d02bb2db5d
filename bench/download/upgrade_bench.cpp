// A whole upgrade with the released sizes (1,126,400 + 63,822,351 +
// 14,524,912 bytes, all seven regions) against the simulated handset, run as
// the child process tidewell-sim without delays, over pseudo-terminals.
//
// Reports the wall time of the run, the part the upgrader's mandated sleeps
// account for, the rest per round trip next to a bare pseudo-terminal
// exchange measured in the same run, and the peak memory against the image
// bytes.
//
// Two bare exchanges are measured. The plain one runs back to back, as the
// PDA side's packets and acknowledgements do. The paced one sleeps the phone
// block's mandated 5 ms between its write and its read, as every phone
// exchange does. trip_ratio (the goal: at most 1.5) compares the rest with
// plain exchanges only; paced_trip_ratio compares it with plain exchanges
// for the PDA side's round trips and paced ones for the phone side's.
//
// Run it pinned to one core: `taskset -c 1 bench_download_upgrade`. On a
// virtual machine, a write that wakes a reader on another, idle virtual CPU
// can cost from 10 to 580 us depending on the moment (a bare paced exchange
// shows the same swing), which would swamp the phone side's figures.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
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

namespace tw {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

constexpr int kComPort = 7;
constexpr int kBareExchanges = 5000;
constexpr int kPacedExchanges = 500;
constexpr std::uint32_t kPhonePauseMs = 5;  // the data block's pause before its answer is read

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

// Counts the host's writes: each one is answered by the handset, except a
// handful of commands, so their number is the number of round trips.
class CountingProvider final : public IDeviceProvider {
 public:
  explicit CountingProvider(IDeviceProvider& inner) : m_inner(inner) {}
  std::vector<std::string> EnumerateInterfaces(const GUID& cls) override {
    return m_inner.EnumerateInterfaces(cls);
  }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string& path, std::string* error) override {
    return Wrap(m_inner.OpenInterface(path, error));
  }
  std::unique_ptr<IByteDevice> OpenPort(const std::string& name, std::string* error) override {
    return Wrap(m_inner.OpenPort(name, error));
  }
  std::uint64_t Writes() const { return m_writes; }

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

   private:
    std::unique_ptr<IByteDevice> m_inner;
    std::atomic<std::uint64_t>& m_writes;
  };

  std::unique_ptr<IByteDevice> Wrap(std::unique_ptr<IByteDevice> device) {
    return device ? std::make_unique<Device>(std::move(device), m_writes) : nullptr;
  }

  IDeviceProvider& m_inner;
  std::atomic<std::uint64_t> m_writes{0};
};

// The main dialog's part of an upgrade: its flags, the phone image and the
// end-of-run message.
class BenchOwner final : public IDownloadOwner, public DownloadOwnerFlags {
 public:
  BenchOwner(CImageSet& images, IClock& clock, IDeviceProvider& devices)
      : m_images(images), m_clock(clock), m_devices(devices) {
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
  void PumpMessages() override {}
  IClock& Clock() override { return m_clock; }
  IDeviceProvider& Devices() override { return m_devices; }
  bool WaitDone(int timeoutMs) {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return m_done; });
  }

 private:
  CImageSet& m_images;
  IClock& m_clock;
  IDeviceProvider& m_devices;
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

// One bare exchange on a raw pseudo-terminal: 1024 bytes out, a 5-byte answer
// back, as a block and its acknowledgement. The answering end is a child
// process, as the simulated handset is. With pauseMs, each write is followed
// by that sleep (through the upgrader's clock) before the answer is read.
// Returns microseconds per exchange beyond the sleeps.
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

void BM_WholeUpgrade(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / ("tidewell-bench-" + std::to_string(getpid()));
  fs::create_directories(dir / "dev");
  std::string package, error;
  if (!WriteGeneratedPackage(dir.string(), kReleasedSizes, true, &package, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const double bareBeforeUs = BarePtyRoundTripUs(kBareExchanges, 0);
  const double pacedBeforeUs = BarePtyRoundTripUs(kPacedExchanges, kPhonePauseMs);

  for (auto _ : state) {
    CImageSet images;
    images.LoadAttachedImages(package);
    const pid_t sim = SpawnSimulator(dir, package, dir / "summary.json");
    CPortTable ports((dir / "dev").string());
    CLinuxDeviceProvider hostDevices(ports);
    hostDevices.AddInterfaceBackend(GUID_PDA_DOWNLOAD_INTERFACE,
                                    std::make_unique<CTtyInterfaceBackend>((dir / "dev").string()));
    CountingProvider provider(hostDevices);
    TallyClock clock;
    BenchOwner owner(images, clock, provider);
    if (sim < 0 || !WaitFor([&] { return fs::exists(dir / "dev" / "pda0"); }, 10000)) {
      state.SkipWithError("the simulated handset did not start");
      break;
    }

    const auto start = Steady::now();
    bool bDone = false;
    double pdaWallS = 0, pdaSleptS = 0, pdaTrips = 0;
    {
      CDownLoad dl(&owner, 0);
      if (dl.ConnectPda(&images.m_ImageTable, 0)) {
        dl.StartDownload(0);
        const fs::path com = dir / "dev" / ("COM" + std::to_string(kComPort));
        PhonePort port{kComPort};
        dl.m_nPort = kComPort;
        bDone = WaitFor([&] { return owner.m_bPhoneStage[0] == 1; }, 600000);
        pdaWallS = std::chrono::duration<double>(Steady::now() - start).count();
        pdaSleptS = clock.SleptS();
        pdaTrips = static_cast<double>(provider.Writes());
        bDone = bDone && WaitFor([&] { return fs::exists(com); }, 60000) && dl.ConnectPhone(&port, 0) &&
                owner.WaitDone(900000);
      }
    }
    const double wallS = std::chrono::duration<double>(Steady::now() - start).count();
    int status = 0;
    waitpid(sim, &status, 0);
    if (!bDone) {
      state.SkipWithError("the upgrade did not finish");
      break;
    }

    // The bare exchange before and after the upgrade: the machine's load moves it.
    const double bareAfterUs = BarePtyRoundTripUs(kBareExchanges, 0);
    const double pacedAfterUs = BarePtyRoundTripUs(kPacedExchanges, kPhonePauseMs);
    const double bareUs = (bareBeforeUs + bareAfterUs) / 2;
    const double pacedUs = (pacedBeforeUs + pacedAfterUs) / 2;
    const double sleptS = clock.SleptS();
    const double trips = static_cast<double>(provider.Writes());
    const double restPerTripUs = (wallS - sleptS) * 1e6 / trips;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double imageBytes = 1126400.0 + 63822351.0 + 14524912.0;
    state.counters["wall_s"] = wallS;
    state.counters["sleeps_s"] = sleptS;
    state.counters["round_trips"] = trips;
    state.counters["rest_per_trip_us"] = restPerTripUs;
    state.counters["bare_trip_us"] = bareUs;
    state.counters["bare_before_us"] = bareBeforeUs;
    state.counters["bare_after_us"] = bareAfterUs;
    state.counters["trip_ratio"] = restPerTripUs / bareUs;  // goal: <= 1.5
    state.counters["paced_trip_us"] = pacedUs;
    state.counters["paced_before_us"] = pacedBeforeUs;
    state.counters["paced_after_us"] = pacedAfterUs;
    const double restS = wallS - sleptS;
    state.counters["paced_trip_ratio"] = restS * 1e6 / (pdaTrips * bareUs + (trips - pdaTrips) * pacedUs);
    state.counters["pda_rest_per_trip_us"] = (pdaWallS - pdaSleptS) * 1e6 / pdaTrips;
    state.counters["phone_rest_per_trip_us"] =
        (wallS - pdaWallS - (sleptS - pdaSleptS)) * 1e6 / (trips - pdaTrips);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["memory_ratio"] =
        static_cast<double>(usage.ru_maxrss) * 1024.0 / imageBytes;  // goal: <= 1.2
    state.counters["sim_verified"] = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
  }
  fs::remove_all(dir);
}

BENCHMARK(BM_WholeUpgrade)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tw

BENCHMARK_MAIN();
