// One phone exchange, a 1024-byte block and its 1-byte answer, through
// CWinRs232cSync over a pseudo-terminal, against the same exchange made with
// plain read/write/poll calls on a raw tty.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "phonedown/cwinrs232c/winrs232c.h"
#include "platform/linuxdeviceprovider.h"
#include "tests/platform/ptypair.h"

namespace {

constexpr std::size_t kBlock = 1024;

// The device: answers every 1024 bytes it receives with one byte (ACK).
class Responder {
 public:
  explicit Responder(int master) : m_master(master), m_thread([this] { Run(); }) {}
  ~Responder() {
    m_stop = true;
    m_thread.join();
  }

 private:
  void Run() {
    std::vector<unsigned char> buffer(4096);
    std::size_t count = 0;
    while (!m_stop) {
      pollfd p{m_master, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) {
        continue;
      }
      ssize_t got = read(m_master, buffer.data(), buffer.size());
      if (got <= 0) {
        return;
      }
      count += static_cast<std::size_t>(got);
      while (count >= kBlock) {
        count -= kBlock;
        const unsigned char ack = 0x02;
        if (write(m_master, &ack, 1) != 1) {
          return;
        }
      }
    }
  }
  int m_master;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

void BM_ExchangeThroughCWinRs232cSync(benchmark::State& state) {
  tw::test::PtyPair pty;
  tw::test::TempDir dir;
  dir.Link("COM5", pty.SlavePath());
  tw::CPortTable ports(dir.Path());
  tw::CLinuxDeviceProvider provider(ports);
  tw::VirtualClock clock;
  tw::CWinRs232cSync port(provider, clock);
  port.Init();
  if (!port.Open("COM5:", 115200, 'N', 8, 0)) {
    state.SkipWithError("cannot open the port");
    return;
  }
  Responder responder(pty.Master());
  std::vector<unsigned char> block(kBlock, 0x5A);
  unsigned char answer[tw::CWinRs232cSync::kReadBufferSize];
  for (auto _ : state) {
    port.Write(block.data(), kBlock);
    tw::DWORD got = 0;
    while (got == 0 && port.WaitRxChar() == tw::EV_RXCHAR) {
      got = port.Read(answer, 0);
    }
    benchmark::DoNotOptimize(got);
  }
}
BENCHMARK(BM_ExchangeThroughCWinRs232cSync)->UseRealTime();

void BM_ExchangeWithPlainCalls(benchmark::State& state) {
  tw::test::PtyPair pty;
  int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);
  Responder responder(pty.Master());
  std::vector<unsigned char> block(kBlock, 0x5A);
  unsigned char answer[16];
  for (auto _ : state) {
    std::size_t done = 0;
    while (done < kBlock) {
      ssize_t put = write(fd, block.data() + done, kBlock - done);
      if (put > 0) {
        done += static_cast<std::size_t>(put);
      } else {
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, 1000);
      }
    }
    ssize_t got = 0;
    while (got <= 0) {
      pollfd p{fd, POLLIN, 0};
      poll(&p, 1, 1000);
      got = read(fd, answer, sizeof answer);
    }
    benchmark::DoNotOptimize(got);
  }
  close(fd);
}
BENCHMARK(BM_ExchangeWithPlainCalls)->UseRealTime();

}  // namespace
