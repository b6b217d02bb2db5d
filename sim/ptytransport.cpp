#include "sim/ptytransport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/tunables.h"

namespace tw::sim {

namespace {

// How often the hang-up is looked at while waiting for the host's open.
constexpr int kOpenPollMs = 2;
// What a reader is given to take the last reply before the device goes.
constexpr int kDrainMs = 100;

std::string Reason(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// One pty pair, announced under a name in the device directory.
class PtyPort final : public ISimPort {
 public:
  PtyPort(int master, std::string link) : m_master(master), m_link(std::move(link)) {}
  ~PtyPort() override {
    ::unlink(m_link.c_str());
    ::close(m_master);
  }

  bool WaitOpened(int timeoutMs) override {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
      pollfd fd{m_master, POLLIN, 0};
      if (::poll(&fd, 1, 0) >= 0 && !(fd.revents & POLLHUP)) {
        // The host's open ends by flushing the line: let it finish first.
        std::this_thread::sleep_for(std::chrono::milliseconds(GetTunables().simOpenSettleMs));
        return true;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(kOpenPollMs));
    }
  }

  long Receive(std::uint8_t* dst, std::size_t n, int timeoutMs) override {
    pollfd fd{m_master, POLLIN, 0};
    int ready = ::poll(&fd, 1, timeoutMs);
    if (ready < 0) {
      return errno == EINTR ? 0 : -1;
    }
    if (ready == 0) {
      return 0;
    }
    if (fd.revents & POLLIN) {
      ssize_t got = ::read(m_master, dst, n);
      if (got > 0) {
        return got;
      }
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return 0;
      }
    }
    return -1;  // hang-up: the host closed the slave
  }

  bool Send(const std::uint8_t* src, std::size_t n) override {
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(GetTunables().simSendTimeoutMs);
    while (n > 0) {
      ssize_t put = ::write(m_master, src, n);
      if (put > 0) {
        src += put;
        n -= static_cast<std::size_t>(put);
        continue;
      }
      if (put < 0 && errno != EAGAIN && errno != EINTR) {
        return false;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        return false;
      }
      pollfd fd{m_master, POLLOUT, 0};
      ::poll(&fd, 1, 10);
    }
    return true;
  }

  // The master cannot tell what the slave's reader has taken: give it the time.
  bool WaitDrained(int timeoutMs) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, kDrainMs)));
    return true;
  }

 private:
  int m_master;
  std::string m_link;
};

// Opens the slave once to make it raw; closing it again sets the hang-up
// that the host's open will clear.
bool MakeSlaveRaw(const char* slave, std::string* error) {
  int fd = ::open(slave, O_RDWR | O_NOCTTY);
  if (fd < 0) {
    *error = Reason(slave);
    return false;
  }
  termios tio{};
  bool ok = ::tcgetattr(fd, &tio) == 0;
  if (ok) {
    ::cfmakeraw(&tio);
    ok = ::tcsetattr(fd, TCSANOW, &tio) == 0;
  }
  if (!ok) {
    *error = Reason(std::string("raw mode on ") + slave);
  }
  ::close(fd);
  return ok;
}

}  // namespace

std::unique_ptr<ISimPort> PtyTransport::AnnouncePda() {
  return Announce(PdaEntry());
}

std::unique_ptr<ISimPort> PtyTransport::AnnounceCom(int n) {
  return Announce(ComEntry(n));
}

std::string PtyTransport::PdaEntry() const {
  return m_location.empty() ? "pda0" : "pda@" + m_location;
}

std::string PtyTransport::ComEntry(int n) const {
  std::string entry = "COM" + std::to_string(n);
  return m_location.empty() ? entry : entry + "@" + m_location;
}

bool PtyTransport::HasEntry(const std::string& name) const {
  struct stat info {};
  return ::lstat((m_dir + "/" + name).c_str(), &info) == 0;
}

std::unique_ptr<ISimPort> PtyTransport::Announce(const std::string& entry) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master < 0) {
    m_error = Reason("posix_openpt");
    return nullptr;
  }
  char slave[128];
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, slave, sizeof slave) != 0) {
    m_error = Reason("pty set-up");
    ::close(master);
    return nullptr;
  }
  std::string link = m_dir + "/" + entry;
  if (!MakeSlaveRaw(slave, &m_error)) {
    ::close(master);
    return nullptr;
  }
  ::unlink(link.c_str());  // a stale entry of an earlier run
  if (::symlink(slave, link.c_str()) != 0) {
    m_error = Reason("symlink " + link);
    ::close(master);
    return nullptr;
  }
  return std::make_unique<PtyPort>(master, std::move(link));
}

}  // namespace tw::sim
