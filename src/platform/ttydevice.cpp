#include "platform/ttydevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/processes.h"

namespace tw {

namespace {

constexpr short kGoneEvents = POLLHUP | POLLERR | POLLNVAL;

// Raw 8N1 at 115200: no echo, no CR/LF or other translation, no XON/XOFF,
// no hardware handshake, modem lines ignored, reads never block.
void MakeRaw(termios& tio) {
  cfmakeraw(&tio);
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, B115200);
  cfsetospeed(&tio, B115200);
}

bool IsRaw(const termios& tio) {
  return (tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
         (tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF)) == 0 && (tio.c_oflag & OPOST) == 0 &&
         (tio.c_cflag & CSIZE) == CS8;
}

// Closes fd without losing the errno of the call that failed.
void CloseKeepingErrno(int fd, bool exclusive) {
  int saved = errno;
  if (exclusive) {
    ioctl(fd, TIOCNXCL);
  }
  close(fd);
  errno = saved;
}

// The reason of a failed step; a device that another holder has is named
// with that holder where /proc shows it, and errno says whose it is.
std::unique_ptr<CTtyDevice> Fail(const std::string& path, const char* step, std::string* error) {
  int saved = errno;
  if (saved == EBUSY || saved == EWOULDBLOCK) {
    const DeviceHolders holders = FindHolders(path);
    saved = holders.self ? EALREADY : EBUSY;
    if (error) {
      *error = path + ": in use by " + DescribeHolders(holders);
    }
  } else if (error) {
    *error = path + ": " + step + ": " + std::strerror(saved);
  }
  errno = saved;
  return nullptr;
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
          .count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Steps 1 and 2 of an open: the descriptor, locked. -1 on failure, with the
// failed step in *step and errno as the call left it.
int OpenLocked(const std::string& path, const char** step) {
  // 1. Open without becoming the controlling terminal, never blocking.
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *step = errno == EBUSY ? "held by another program" : "cannot open";
    return -1;
  }
  // 2. Exclusive: the advisory lock holds even against root, TIOCEXCL
  //    against other openers that do not lock.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *step = errno == EWOULDBLOCK ? "held by another program" : "cannot lock";
    CloseKeepingErrno(fd, false);
    return -1;
  }
  return fd;
}

}  // namespace

bool CTtyDevice::TryOpen(const std::string& path, std::string* error) {
  const char* step = nullptr;
  const int fd = OpenLocked(path, &step);
  if (fd < 0) {
    Fail(path, step, error);
    return false;
  }
  close(fd);
  return true;
}

std::unique_ptr<CTtyDevice> CTtyDevice::Open(const std::string& path, std::string* error) {
  // 1, 2. Open, exclusive.
  const char* step = nullptr;
  int fd = OpenLocked(path, &step);
  if (fd < 0) {
    return Fail(path, step, error);
  }
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    CloseKeepingErrno(fd, false);
    return Fail(path, "not a serial device", error);
  }
  if (ioctl(fd, TIOCEXCL) != 0) {
    CloseKeepingErrno(fd, false);
    return Fail(path, "cannot make exclusive", error);
  }
  // 3. Raw 115200 8N1, checked by reading it back.
  MakeRaw(tio);
  termios applied{};
  if (tcsetattr(fd, TCSANOW, &tio) != 0 || tcgetattr(fd, &applied) != 0) {
    CloseKeepingErrno(fd, true);
    return Fail(path, "cannot set raw 115200 8N1", error);
  }
  if (!IsRaw(applied)) {
    errno = EINVAL;
    CloseKeepingErrno(fd, true);
    return Fail(path, "raw mode not taken", error);
  }
  // 4. Drop whatever waits in either direction.
  if (tcflush(fd, TCIOFLUSH) != 0) {
    CloseKeepingErrno(fd, true);
    return Fail(path, "cannot purge", error);
  }
  return std::unique_ptr<CTtyDevice>(new CTtyDevice(fd));
}

CTtyDevice::~CTtyDevice() {
  ioctl(m_fd, TIOCNXCL);
  close(m_fd);
}

long CTtyDevice::BytesWaiting() {
  // A hung-up tty answers every ioctl with EIO.
  int count = 0;
  return ioctl(m_fd, FIONREAD, &count) == 0 ? count : -1;
}

int CTtyDevice::WaitReceive(int timeoutMs) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
  for (;;) {
    pollfd p{m_fd, POLLIN, 0};
    int ready = poll(&p, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready < 0 || (p.revents & kGoneEvents)) {
      return -1;
    }
    return ready > 0 ? 1 : 0;
  }
}

long CTtyDevice::Read(void* dst, std::size_t n) {
  for (;;) {
    ssize_t got = ::read(m_fd, dst, n);
    if (got > 0 || (got == 0 && n == 0)) {
      return static_cast<long>(got);
    }
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      // Nothing waits on a live tty; any other error is a gone one.
      return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    }
    // End of file: a hung-up tty, or a raw one with nothing waiting (poll tells).
    pollfd p{m_fd, POLLIN, 0};
    return (poll(&p, 1, 0) > 0 && (p.revents & kGoneEvents)) ? -1 : 0;
  }
}

bool CTtyDevice::Write(const void* src, std::size_t n, int timeoutMs) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
  const auto* bytes = static_cast<const unsigned char*>(src);
  std::size_t done = 0;
  while (done < n) {
    ssize_t put = ::write(m_fd, bytes + done, n - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) {
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      return false;
    }
    // The output queue is full: wait for room within the bound.
    pollfd p{m_fd, POLLOUT, 0};
    int ready = poll(&p, 1, MillisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready <= 0 || (p.revents & kGoneEvents)) {
      return false;
    }
  }
  return true;
}

void CTtyDevice::Purge() {
  tcflush(m_fd, TCIOFLUSH);
}

}  // namespace tw
