// Loading a package of the released sizes (EBOOT 1,126,400, PDA 63,822,351,
// phone 14,524,912 bytes behind a 2,670,592-byte executable) against reading
// the same file once into memory, in the same run; and the peak memory of
// each, measured in a fresh child process (its maximum resident set).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "firmware/imageheader.h"
#include "firmware/imageset.h"
#include "platform/file.h"

namespace {

constexpr std::uint64_t kExe = 2670592, kEboot = 1126400, kPda = 63822351, kPhone = 14524912;
constexpr std::uint64_t kImages = kEboot + kPda + kPhone;

// The package, written once per run with pseudo-random bytes.
const std::string& PackagePath() {
  static const std::string path = [] {
    std::string name = "/tmp/tw-bench-package-XXXXXX";
    const int fd = ::mkstemp(name.data());
    std::vector<unsigned char> chunk(1 << 20);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::uint64_t left = kExe + kImages; left > 0;) {
      for (std::size_t i = 0; i < chunk.size(); i += 8) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        std::memcpy(chunk.data() + i, &state, 8);
      }
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
      if (::write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) {
        std::abort();
      }
      left -= n;
    }
    const tw::sImageHeader header{tw::IMAGE_HEADER_MAGIC, kExe,  kEboot, kExe + kEboot, kPda, 1, 0,
                                  kExe + kEboot + kPda,   kPhone};
    const tw::ImageHeaderBytes record = tw::EncodeImageHeader(header);
    if (::write(fd, record.data(), record.size()) != static_cast<ssize_t>(record.size())) {
      std::abort();
    }
    ::close(fd);
    std::atexit([] { ::unlink(PackagePath().c_str()); });
    return name;
  }();
  return path;
}

bool PlainRead(const std::string& path) {
  tw::CFile file;
  if (!file.Open(path)) {
    return false;
  }
  const std::uint64_t length = file.GetLength();
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[length]);
  return file.Read(buffer.get(), length) == length;
}

bool Load(const std::string& path) {
  tw::CImageSet set;
  return set.LoadAttachedImages(path) != tw::FALSE;
}

void BM_PlainRead(benchmark::State& state) {
  const std::string& path = PackagePath();
  for (auto _ : state) {
    benchmark::DoNotOptimize(PlainRead(path));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (kExe + kImages + 36)));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadAttachedImages(benchmark::State& state) {
  const std::string& path = PackagePath();
  for (auto _ : state) {
    if (!Load(path)) {
      state.SkipWithError("the package did not load");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (kExe + kImages + 36)));
}
BENCHMARK(BM_LoadAttachedImages)->Unit(benchmark::kMillisecond)->UseRealTime();

// Both in turn, so that the machine's load falls on both alike; the
// counter is load time over plain read time (the goal: at most 1.5).
void BM_LoadVersusRead(benchmark::State& state) {
  const std::string& path = PackagePath();
  std::chrono::duration<double> readTime{}, loadTime{};
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(PlainRead(path));
    const auto t1 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(Load(path));
    const auto t2 = std::chrono::steady_clock::now();
    readTime += t1 - t0;
    loadTime += t2 - t1;
  }
  state.counters["load_vs_read"] = loadTime.count() / readTime.count();
}
BENCHMARK(BM_LoadVersusRead)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

// Peak resident memory that one job adds to a fresh copy of this program,
// in bytes: the child reports its VmHWM minus its VmRSS before the job.
double ChildPeakBytes(const char* job) {
  char self[4096] = {};
  if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
    return -1;
  }
  const std::string command = std::string(self) + " --child " + job + " " + PackagePath();
  FILE* child = ::popen(command.c_str(), "r");
  double bytes = -1;
  if (child == nullptr || std::fscanf(child, "%lf", &bytes) != 1) {
    bytes = -1;
  }
  if (child != nullptr && ::pclose(child) != 0) {
    bytes = -1;
  }
  return bytes;
}

// A line "Vm...:  N kB" of /proc/self/status, in bytes.
double StatusBytes(const char* field) {
  FILE* status = std::fopen("/proc/self/status", "r");
  char line[256];
  double kb = -1;
  while (status != nullptr && std::fgets(line, sizeof line, status)) {
    if (std::strncmp(line, field, std::strlen(field)) == 0) {
      kb = std::atof(line + std::strlen(field));
    }
  }
  if (status != nullptr) {
    std::fclose(status);
  }
  return kb * 1024.0;
}

void BM_PeakMemory(benchmark::State& state) {
  double read = 0, load = 0;
  for (auto _ : state) {
    read = ChildPeakBytes("read");
    load = ChildPeakBytes("load");
  }
  if (read < 0 || load < 0) {
    state.SkipWithError("a child process failed");
    return;
  }
  const double images = static_cast<double>(kImages);
  state.counters["image_MB"] = images / 1e6;
  state.counters["read_peak_MB"] = read / 1e6;
  state.counters["load_peak_MB"] = load / 1e6;
  // The goal: at most 1.1 x the image bytes plus the executable.
  state.counters["load_vs_goal"] = load / (1.1 * images + static_cast<double>(kExe));
}
BENCHMARK(BM_PeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The job of a child process; prints the peak memory it added.
int RunChild(const std::string& job, const std::string& path) {
  const double before = StatusBytes("VmRSS:");
  const bool ok = job == "read" ? PlainRead(path) : Load(path);
  std::printf("%.0f\n", StatusBytes("VmHWM:") - before);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
    return RunChild(argv[2], argv[3]);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
