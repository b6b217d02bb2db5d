// Round trips and bulk writes through the libusb channel and a fake handset
// whose usbfs ioctls umockdev answers. The figures include umockdev's socket
// round trip per ioctl, so they bound what the channel itself adds.
#include <benchmark/benchmark.h>

#include "platform/linuxusb/libusbinterfacebackend.h"
#include "tests/platform/linuxusb/fakeusbbus.h"

namespace tw {
namespace {

struct Rig {
  Rig() : backend(CUsbIdRules({{UsbMatchRule::Use::Download, 0xffff, 0x0352, 0}})) {
    device = &bus.AddDevice({});
    std::string error;
    channel = backend.Open("usb:1-2:0", &error);
  }
  test::FakeUsbBus bus;
  test::FakeUsbDevice* device = nullptr;
  CLibusbInterfaceBackend backend;
  std::unique_ptr<IByteDevice> channel;
};

// A record out and its echo back, as the handshake and the EBOOT records go.
void BM_RoundTrip(benchmark::State& state) {
  Rig rig;
  rig.device->SetResponder([](const std::vector<std::uint8_t>& out) { return out; });
  std::vector<std::uint8_t> record(static_cast<std::size_t>(state.range(0)), 0x5A);
  std::vector<std::uint8_t> back(record.size());
  for (auto _ : state) {
    rig.channel->Write(record.data(), record.size(), 5000);
    std::size_t got = 0;
    while (got < back.size() && rig.channel->WaitReceive(5000) == 1) {
      got += static_cast<std::size_t>(rig.channel->Read(back.data() + got, back.size() - got));
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_RoundTrip)->Arg(16)->Arg(1012)->Arg(16384)->UseRealTime();

// Writes only, as the OS image's packets go.
void BM_Write(benchmark::State& state) {
  Rig rig;
  std::vector<std::uint8_t> packet(static_cast<std::size_t>(state.range(0)), 0xA5);
  for (auto _ : state) {
    rig.channel->Write(packet.data(), packet.size(), 5000);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Write)->Arg(1024)->Arg(65536)->UseRealTime();

}  // namespace
}  // namespace tw
