// From the PDA interface's arrival to the hello's answer being written,
// against the simulated handset over the in-process channel: the part the
// shell adds (event posting, the two dispatches, making the downloader)
// apart from the handshake's own work (open, wait for the hello, answer).
//
//   shell_ms      arrival reported -> ConnectPda entered   (the figure; median)
//   handshake_ms  ConnectPda entered -> answer written
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "app/downloadslot.h"
#include "app/tidewelldlglogic.h"
#include "platform/messageloop.h"
#include "sim/inprocchannel.h"
#include "sim/simhandset.h"
#include "tests/app/logicservices.h"

namespace tw {
namespace {

using Steady = std::chrono::steady_clock;

struct Stamps {
  std::atomic<Steady::rep> arrival{0};
  std::atomic<Steady::rep> connect{0};
  std::atomic<Steady::rep> answer{0};
  static Steady::rep Now() { return Steady::now().time_since_epoch().count(); }
  static void Once(std::atomic<Steady::rep>& stamp) {
    Steady::rep none = 0;
    stamp.compare_exchange_strong(none, Now());
  }
};

// The download interface, stamping its first write (the hello's answer).
class StampingDevice final : public IByteDevice {
 public:
  StampingDevice(std::unique_ptr<IByteDevice> inner, Stamps& stamps, CMessageLoop& loop)
      : m_inner(std::move(inner)), m_stamps(stamps), m_loop(loop) {}
  long BytesWaiting() override { return m_inner->BytesWaiting(); }
  int WaitReceive(int timeoutMs) override { return m_inner->WaitReceive(timeoutMs); }
  long Read(void* dst, std::size_t n) override { return m_inner->Read(dst, n); }
  bool Write(const void* src, std::size_t n, int timeoutMs) override {
    bool ok = m_inner->Write(src, n, timeoutMs);
    Stamps::Once(m_stamps.answer);
    m_loop.Quit(0);
    return ok;
  }
  void Purge() override { m_inner->Purge(); }

 private:
  std::unique_ptr<IByteDevice> m_inner;
  Stamps& m_stamps;
  CMessageLoop& m_loop;
};

class StampingProvider final : public IDeviceProvider {
 public:
  StampingProvider(IDeviceProvider& inner, Stamps& stamps, CMessageLoop& loop)
      : m_inner(inner), m_stamps(stamps), m_loop(loop) {}
  std::vector<std::string> EnumerateInterfaces(const GUID& cls) override {
    return m_inner.EnumerateInterfaces(cls);
  }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string& path, std::string* error) override {
    std::unique_ptr<IByteDevice> device = m_inner.OpenInterface(path, error);
    return device ? std::make_unique<StampingDevice>(std::move(device), m_stamps, m_loop) : nullptr;
  }
  std::unique_ptr<IByteDevice> OpenPort(const std::string& name, std::string* error) override {
    return m_inner.OpenPort(name, error);
  }

 private:
  IDeviceProvider& m_inner;
  Stamps& m_stamps;
  CMessageLoop& m_loop;
};

class StampingEvents final : public IDeviceEventSource {
 public:
  StampingEvents(IDeviceEventSource& inner, Stamps& stamps) : m_inner(inner), m_stamps(stamps) {}
  bool Start(Sink sink) override {
    return m_inner.Start([this, sink](const DeviceEvent& event) {
      if (event.action == DeviceEvent::Action::Arrival) {
        Stamps::Once(m_stamps.arrival);
      }
      sink(event);
    });
  }
  void Stop() override { m_inner.Stop(); }

 private:
  IDeviceEventSource& m_inner;
  Stamps& m_stamps;
};

// A real downloader whose ConnectPda is stamped on entry.
class StampingSlot final : public CDownLoadSlot {
 public:
  StampingSlot(IDownloadOwner* pOwner, Stamps& stamps) : CDownLoadSlot(pOwner, 0), m_stamps(stamps) {}
  void ConnectPda(ImageTable* pTable, int nIndex) override {
    Stamps::Once(m_stamps.connect);
    CDownLoadSlot::ConnectPda(pTable, nIndex);
  }

 private:
  Stamps& m_stamps;
};

double Ms(Steady::rep from, Steady::rep to) {
  return std::chrono::duration<double, std::milli>(Steady::duration(to - from)).count();
}

void BM_ArrivalToHelloAnswer(benchmark::State& state) {
  double shellMs = 0;
  double handshakeMs = 0;
  for (auto _ : state) {
    Stamps stamps;
    CMessageLoop loop;
    test::SilentView view;
    sim::InProcChannel channel;
    RealClock clock;
    StampingProvider devices(channel.Provider(), stamps, loop);
    StampingEvents events(channel.Events(), stamps);
    auto logic = std::make_unique<CTidewellDlgLogic>(
        test::LogicServices(view, loop, clock, devices, events,
                            [&stamps](IDownloadOwner* pOwner, int) -> std::unique_ptr<ISlotDownloader> {
                              return std::make_unique<StampingSlot>(pOwner, stamps);
                            }));
    logic->OnInitDialog();
    sim::SimHandset handset(sim::SimConfig{}, channel, clock);
    handset.Start();
    loop.Run(Steady::now() + std::chrono::seconds(10));
    logic.reset();

    shellMs = Ms(stamps.arrival, stamps.connect);
    handshakeMs = Ms(stamps.connect, stamps.answer);
    if (stamps.answer == 0) {
      state.SkipWithError("the hello was never answered");
      break;
    }
    state.SetIterationTime(shellMs / 1000.0);
  }
  state.counters["shell_ms"] = shellMs;
  state.counters["handshake_ms"] = handshakeMs;
}

BENCHMARK(BM_ArrivalToHelloAnswer)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tw
