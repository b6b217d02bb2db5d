// The simulated handset over pseudo-terminals in a device directory, driven
// by a host that opens the entries as the tty backend does.
#include "sim/ptytransport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "pda/pdacommands.h"
#include "phonedown/cmsmpacket/msmresponse.h"
#include "platform/byteorder.h"
#include "sim/simhandset.h"
#include "tests/sim/scriptedhost.h"
#include "tests/sim/scriptedrun.h"

namespace tw::sim::test {
namespace {

namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 1500; ++i) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// One open tty entry, read and written with bounded waits.
class TtyHost {
 public:
  explicit TtyHost(const fs::path& entry) : m_fd(::open(entry.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (m_fd >= 0) {
      ::ioctl(m_fd, TIOCEXCL);
    }
  }
  ~TtyHost() {
    if (m_fd >= 0) {
      ::close(m_fd);
    }
  }
  bool IsOpen() const { return m_fd >= 0; }
  bool Send(const Bytes& bytes) { return ::write(m_fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()); }
  Bytes Read(std::size_t n) {
    Bytes out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPresentMs);
    while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
      pollfd fd{m_fd, POLLIN, 0};
      if (::poll(&fd, 1, 20) > 0 && (fd.revents & POLLIN)) {
        std::uint8_t buffer[64];
        ssize_t got = ::read(m_fd, buffer, std::min(n - out.size(), sizeof buffer));
        if (got > 0) {
          out.insert(out.end(), buffer, buffer + got);
        }
      }
    }
    return out;
  }
  // One framed answer; its code byte.
  std::uint8_t Answer() {
    Bytes frame = Read(1);
    while (!frame.empty() && (frame.size() == 1 || frame.back() != 0x7E)) {
      Bytes next = Read(1);
      if (next.empty()) {
        break;
      }
      frame.push_back(next[0]);
    }
    return frame.size() >= 2 ? frame[1] : 0;
  }

 private:
  int m_fd;
};

// With a location the entries carry it, so several handsets share one directory.
TEST(PtyTransport, EntriesCarryTheHandsetsLocation) {
  fs::path dir = fs::temp_directory_path() / ("tidewell-sim-loc-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  PtyTransport plain(dir.string());
  PtyTransport first(dir.string(), "1-1");
  PtyTransport second(dir.string(), "1-2.4");
  EXPECT_EQ(plain.PdaEntry(), "pda0");
  EXPECT_EQ(plain.ComEntry(7), "COM7");
  {
    auto pda1 = first.AnnouncePda();
    auto pda2 = second.AnnouncePda();
    auto com1 = first.AnnounceCom(8);
    auto com2 = second.AnnounceCom(9);
    ASSERT_TRUE(pda1 && pda2 && com1 && com2) << first.LastError() << second.LastError();
    for (const char* entry : {"pda@1-1", "pda@1-2.4", "COM8@1-1", "COM9@1-2.4"}) {
      EXPECT_TRUE(fs::is_symlink(dir / entry)) << entry;
      EXPECT_TRUE(plain.HasEntry(entry)) << entry;
    }
    EXPECT_FALSE(plain.HasEntry("COM8"));
  }
  EXPECT_TRUE(fs::is_empty(dir)) << "each entry leaves with its port";
  fs::remove_all(dir);
}

TEST(PtyTransport, WholeRunOverPseudoTerminals) {
  fs::path dir = fs::temp_directory_path() / ("tidewell-sim-pty-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  PtyTransport transport(dir.string());
  SimConfig config;
  config.osRequestSizes = {3000, 0};
  config.phoneModePauseMs = 50;
  config.phoneRegions = 2;
  config.runTimeoutMs = 60000;
  SimHandset handset(config, transport, DefaultClock());
  ASSERT_TRUE(handset.Start()) << transport.LastError();
  ASSERT_TRUE(fs::is_symlink(dir / "pda0"));

  Bytes os = Pattern(5000, 51);
  {
    TtyHost pda(dir / "pda0");
    ASSERT_TRUE(pda.IsOpen());
    Bytes hello = pda.Read(kPdaReplySize);
    ASSERT_EQ(hello.size(), kPdaReplySize);
    EXPECT_EQ(hello[0], PDA_RSP_HELLO);
    pda.Send(Command(PDA_CMD_HELLO_ACK));
    pda.Send(Command(PDA_CMD_AFTER_CONNECT));
    pda.Send(Command(PDA_CMD_OS_INFO, 5000));
    std::size_t sent = 0;
    for (std::uint32_t count : {3000u, 2000u}) {
      Bytes request = pda.Read(kReadHeaderSize);
      ASSERT_EQ(request.size(), kReadHeaderSize);
      EXPECT_EQ(LoadLe32(request.data() + 8), count);
      for (std::size_t left = count; left > 0;) {
        std::size_t n = std::min<std::size_t>(left, kWriteBuffDataSize);
        pda.Send(OsPacket(os, sent, n));
        sent += n;
        left -= n;
        EXPECT_EQ(pda.Read(kPdaOsAckSize).size(), kPdaOsAckSize);
      }
    }
    EXPECT_EQ(pda.Read(kPdaReplySize).at(0), PDA_RSP_OS_DONE);
    pda.Send(Command(PDA_CMD_IMAGE_DONE));
    EXPECT_EQ(pda.Read(kPdaReplySize).at(0), PDA_RSP_READY);
    pda.Send(Command(PDA_CMD_PHONE_MODE, 3000));
    ASSERT_TRUE(WaitFor([&] { return !fs::is_symlink(dir / "pda0"); }));
  }
  ASSERT_TRUE(WaitFor([&] { return fs::is_symlink(dir / "COM7"); }));

  Bytes phone = Pattern(2048, 52);
  {
    TtyHost modem(dir / "COM7");
    ASSERT_TRUE(modem.IsOpen());
    modem.Send(JumpFrame());
    modem.Send(JumpFrame());
    EXPECT_EQ(modem.Answer(), ACK);
    EXPECT_EQ(modem.Answer(), ACK);
    for (int region = 0; region < 2; ++region) {
      modem.Send(JumpFrame());
      EXPECT_EQ(modem.Answer(), ACK);
    }
    modem.Send(EraseFrame(0x380000, 2048));  // CODE, at its start in the region table
    EXPECT_EQ(modem.Answer(), ACK);
    for (std::size_t at = 0; at < phone.size(); at += 1024) {
      modem.Send(Bytes(phone.begin() + at, phone.begin() + at + 1024));
      EXPECT_EQ(modem.Answer(), ACK);
    }
  }
  ASSERT_TRUE(handset.WaitEnd(10000));
  SimSummary summary = handset.Summary();
  EXPECT_EQ(summary.end, "phone-done");
  EXPECT_TRUE(summary.violations.empty()) << summary.ToJson();
  EXPECT_EQ(handset.Flash().Os(), os) << "no byte was translated on the way";
  EXPECT_EQ(handset.Flash().ReadModem(0x380000, 2048), phone);
  EXPECT_FALSE(fs::exists(dir / "COM7"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tw::sim::test
