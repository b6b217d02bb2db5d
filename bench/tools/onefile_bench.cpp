// Making a one-file image of the released sizes (EBOOT 1,126,400, PDA
// 63,822,351, phone 14,524,912 bytes) and loading it (extracting the three
// parts, copying EBOOT and PDA into their buffers, cutting the phone image
// into packets), against a plain copy of the same three files into one.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/imageset.h"
#include "tools/onefileloader.h"
#include "tools/onefilewriter.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kSizes[] = {1126400, 63822351, 14524912};
const char* const kNames[] = {"eboot.nb0", "pda.bin", "phone.bin"};

// The three source files, written once per run with pseudo-random bytes,
// in a directory that goes at exit.
const fs::path& SourceDir() {
  static const fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "tw-bench-tools-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    std::vector<char> chunk(1 << 20);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (int part = 0; part < 3; ++part) {
      std::ofstream out(fs::path(pattern) / kNames[part], std::ios::binary);
      for (std::uint64_t left = kSizes[part]; left > 0;) {
        for (std::size_t i = 0; i < chunk.size(); i += 8) {
          state ^= state << 13, state ^= state >> 7, state ^= state << 17;
          std::memcpy(chunk.data() + i, &state, 8);
        }
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        out.write(chunk.data(), static_cast<std::streamsize>(n));
        left -= n;
      }
    }
    fs::create_directory(fs::path(pattern) / "out");
    return fs::path(pattern);
  }();
  // Registered once the path is complete, so it runs before the path goes.
  static const bool removedAtExit = std::atexit([] { fs::remove_all(SourceDir()); }) == 0;
  (void)removedAtExit;
  return dir;
}

std::string ImagePath() {
  return (SourceDir() / "all.img").string();
}

void BM_MakeOneFile(benchmark::State& state) {
  const std::string dir = SourceDir().string();
  for (auto _ : state) {
    if (tw::WriteOneFileImage(ImagePath(), dir, kNames[0], kNames[1], kNames[2]) != 0)
      state.SkipWithError("make");
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * (kSizes[0] + kSizes[1] + kSizes[2])));
}
BENCHMARK(BM_MakeOneFile)->Unit(benchmark::kMillisecond);

void BM_PlainCopyOfTheThreeFiles(benchmark::State& state) {
  for (auto _ : state) {
    std::ofstream out(SourceDir() / "plain.img", std::ios::binary | std::ios::trunc);
    for (const char* name : kNames) {
      std::ifstream in(SourceDir() / name, std::ios::binary);
      out << in.rdbuf();
    }
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * (kSizes[0] + kSizes[1] + kSizes[2])));
}
BENCHMARK(BM_PlainCopyOfTheThreeFiles)->Unit(benchmark::kMillisecond);

void BM_LoadOneFile(benchmark::State& state) {
  if (tw::WriteOneFileImage(ImagePath(), SourceDir().string(), kNames[0], kNames[1], kNames[2]) != 0) {
    state.SkipWithError("make");
    return;
  }
  const fs::path old = fs::current_path();
  fs::current_path(SourceDir() / "out");
  for (auto _ : state) {
    tw::CImageSet images;
    tw::ImageTexts texts;
    if (tw::LoadOneFileImageInto(ImagePath(), images, texts) != 0) state.SkipWithError("load");
  }
  fs::current_path(old);
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * (kSizes[0] + kSizes[1] + kSizes[2])));
}
BENCHMARK(BM_LoadOneFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
