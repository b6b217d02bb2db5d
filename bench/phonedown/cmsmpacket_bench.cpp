// Cost of building the frames the phone download sends per block: the raw
// 1024-byte data block, and a framed, stuffed 1024-byte payload (the worst
// framed frame, every byte a flag).
#include <benchmark/benchmark.h>

#include <array>
#include <numeric>

#include "phonedown/cmsmpacket/pkt.h"
#include "platform/crc16x25.h"

namespace tw {
namespace {

constexpr std::size_t kTxBuffSize = 5120;

void BM_MakeDataPacket(benchmark::State& state) {
  std::array<BYTE, kDataBlockSize> block{};
  std::iota(block.begin(), block.end(), BYTE{0});
  std::array<BYTE, kTxBuffSize> tx{};
  CMsmPacket packet;
  DWORD address = 0x00380000;
  for (auto _ : state) {
    benchmark::DoNotOptimize(packet.MakeDataPacket(tx, address, 1024, block));
    benchmark::ClobberMemory();
    address += kDataBlockSize;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataBlockSize);
}
BENCHMARK(BM_MakeDataPacket);

void BM_MakeFrameStuffed(benchmark::State& state) {
  std::array<BYTE, kDataBlockSize> payload{};
  payload.fill(static_cast<BYTE>(state.range(0)));
  std::array<BYTE, kTxBuffSize> tx{};
  CMsmPacket packet;
  for (auto _ : state) {
    benchmark::DoNotOptimize(packet.MakeFrame(tx, payload, kFrameStuffed));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataBlockSize);
}
BENCHMARK(BM_MakeFrameStuffed)->Arg(0x41)->Arg(0x7E);

void BM_Crc16X25(benchmark::State& state) {
  std::array<BYTE, kDataBlockSize> payload{};
  std::iota(payload.begin(), payload.end(), BYTE{0});
  for (auto _ : state) benchmark::DoNotOptimize(Crc16X25(payload));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataBlockSize);
}
BENCHMARK(BM_Crc16X25);

}  // namespace
}  // namespace tw
